"""The bench schema (docs/bench.schema.json) and the loader agree.

Every bench file of the repository is valid by the schema. Every bench text written into the
tests (C++ raw strings, shell single-quoted strings) is judged by the loader, through
morvane-enum: what the loader accepts the schema accepts, and what it refuses for its
structure the schema refuses too.

    bench_schema_check.py SOURCE_DIR MORVANE_ENUM
"""
import concurrent.futures
import json
import os
import pathlib
import re
import subprocess
import sys
import tempfile

import jsonschema

# The loader's reasons for refusals that are not structure, which a schema cannot see: the file
# itself, bytes that are not JSON (numbers beyond a double among them), and members counted with
# repeated keys.
NOT_STRUCTURE = ("cannot read the file", "not a regular file", "the file is too large",
                 "contains a NUL byte", "invalid JSON", "an object of more than")

source, enum = pathlib.Path(sys.argv[1]), sys.argv[2]
schema = json.loads((source / "docs/bench.schema.json").read_text())
jsonschema.Draft202012Validator.check_schema(schema)
validator = jsonschema.Draft202012Validator(schema)


def schema_errors(text):
    """The schema's objections to text, or None when text is not JSON."""
    try:
        value = json.loads(text.decode("utf-8-sig"))
    except ValueError:
        return None
    return [f"{e.json_path}: {e.message}" for e in validator.iter_errors(value)][:1]


def loader_reason(text, work):
    """The loader's reason for refusing text, or "" when it accepts it."""
    handle, path = tempfile.mkstemp(".json", dir=work)
    with os.fdopen(handle, "wb") as file:
        file.write(text)
    env = {k: v for k, v in os.environ.items() if k != "MORVANE_TRACE"}
    env["MORVANE_BENCH"] = path
    run = subprocess.run([enum], env=env, capture_output=True, text=True, timeout=60)
    prefix = f"bench: {path}: "
    refused = run.returncode == 2 and run.stderr.startswith(prefix)
    return run.stderr[len(prefix):].splitlines()[0] if refused else ""


def tree(top):
    """The files under top, build trees and hidden folders left out."""
    for folder, subfolders, names in os.walk(top):
        subfolders[:] = [d for d in subfolders if d != "build" and not d.startswith(".")]
        yield from (pathlib.Path(folder, name) for name in names)


files = sorted(p for p in tree(source) if p.suffix == ".json" and ".schema." not in p.name
               and (p.parent.name == "benches" or p.name.startswith("bench")))
texts = set()
raw_string = r'R"([^(\s]{0,16})\((.*?)\)\1"'
for test in tree(source / "tests"):
    pattern = {".cpp": raw_string, ".h": raw_string,
               ".sh": r"()'(\s*[{\[][^']*?)(?:\\n)?'"}.get(test.suffix)
    for match in re.finditer(pattern, test.read_text(), re.S) if pattern else ():
        if match.group(2).lstrip()[:1] in ("{", "["):
            texts.add(match.group(2).encode())

failures, counts = [], {"accepted": 0, "refused for structure": 0, "refused otherwise": 0}
with tempfile.TemporaryDirectory() as work, concurrent.futures.ThreadPoolExecutor(4) as pool:
    for path, reason in zip(files, pool.map(lambda p: loader_reason(p.read_bytes(), work), files)):
        errors = schema_errors(path.read_bytes())
        if reason or errors != []:
            failures.append(f"{path.relative_to(source)}: loader: {reason or 'accepted'}; "
                            f"schema: {errors if errors is not None else 'not JSON'}")
    for text, reason in zip(texts, pool.map(lambda t: loader_reason(t, work), texts)):
        errors = schema_errors(text)
        if reason.startswith(NOT_STRUCTURE):
            counts["refused otherwise"] += 1
        elif not reason:
            counts["accepted"] += 1
            if errors != []:
                failures.append(f"accepted by the loader, not by the schema ({errors}): {text!r}")
        else:
            counts["refused for structure"] += 1
            if not errors:
                failures.append(f"refused by the loader ({reason}), not by the schema: {text!r}")

print(f"{len(files)} bench files; bench texts of the tests: {counts}")
# The texts are found where the tests write them; too few means they moved out of sight.
if len(files) < 100 or counts["accepted"] < 10 or counts["refused for structure"] < 20:
    failures.append("too few benches found: look where the tests keep them now")
print("\n".join(failures) or "the schema and the loader agree")
sys.exit(1 if failures else 0)
