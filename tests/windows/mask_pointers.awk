# The one difference allowed between two runs' logs: the two pointers of the connection line,
# masked as %p (or NULL for a null pointer, however the C library prints it). Carriage returns
# of Windows output are dropped. The golden runner's mask_pointers() applies the same rule.
{ sub(/\r$/, "") }
index($0, "CONNECTING TUNER WITH CAPTURE: ") == 1 && NF == 6 {
    for (i = 5; i <= 6; i++)
        $i = ($i == "(nil)" || $i == "(null)" || $i ~ /^(0x)?0+$/) ? "NULL" : "%p"
}
{ print }
