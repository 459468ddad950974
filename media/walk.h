// The opening that the enumeration and the apply share: the network-tuner category with its
// failure lines and table header, and the reading of one entry's property bag.
#pragma once

#include "media/bdasource.h"
#include "media/text.h"

namespace media {

// The network-tuner category, opened. open() initialises COM on the thread, creates the
// system device enumerator and the category's moniker enumerator, and prints the failure
// line of the step that fails, or the table header when the walk can begin.
struct tuner_category {
    com_ptr<ICreateDevEnum> device_enumerator;
    com_ptr<IEnumMoniker> monikers;

    bool open();
};

// One entry of the category with its two property values.
struct tuner_entry {
    com_ptr<IMoniker> moniker;
    com_ptr<IPropertyBag> bag;
    variant device_path;
    variant friendly_name;
    HRESULT friendly_name_read = E_FAIL;

    // The path as the key of the tuner: a value that is not a string counts as empty.
    const WCHAR* path() const;
    // True when the friendly name is a string containing "Morvane" (case-sensitive).
    bool of_the_maker() const;
};

enum class fetch_result {
    entry,  // entry filled
    end,    // the category has no more entries
    failed, // Next failed ("Enumeration failed 2" printed), or the entry's class id or property
            // bag could not be had (nothing printed)
};

// Fetches the next moniker and reads "DevicePath" and "FriendlyName" from its property bag.
fetch_result fetch_entry(IEnumMoniker* monikers, tuner_entry& entry);

} // namespace media
