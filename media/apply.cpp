// Writing a tuner's Unicable settings: the tuner is found again by its device path.
#include "media/bdasource.h"
#include "media/console.h"
#include "media/extension.h"
#include "media/walk.h"

int32_t media_set_unicable_properties(int32_t frequency, int32_t satcr, int32_t enabled,
                                      const media_wchar* devicepath) {
    return media_apply_unicable_settings(
        {.enabled = enabled, .satcr = satcr, .frequency = frequency}, devicepath);
}

int32_t media_apply_unicable_settings(const media_unicable_settings& settings,
                                      const media_wchar* devicepath) {
    media_bda_device context; // every field empty; given back when the call ends

    media_printf("Local Devices:\n");
    media::tuner_category category;
    if (!category.open())
        return -1;

    for (;;) {
        media::tuner_entry entry;
        switch (media::fetch_entry(category.monikers.get(), entry)) {
        case media::fetch_result::failed:
            return -1;
        case media::fetch_result::end:
            return 0; // no tuner has that path
        case media::fetch_result::entry:
            break;
        }
        // An empty path addresses no tuner: every tuner without a path would match it.
        if (media::wide_length(entry.path()) == 0 || !media::wide_equal(entry.path(), devicepath))
            continue;
        if (FAILED(entry.friendly_name_read)) {
            media_printf("Enumeration failed 5\n");
            return -1;
        }
        if (!entry.friendly_name.is_string()) {
            media_printf("Enumeration failed 6\n");
            return -1;
        }
        if (!entry.of_the_maker())
            continue;

        entry.moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter,
                                    context.tuner_filter.put_void());
        media_bda_create_graph(&context);
        media_bda_scan_capture_device(&context, 0);
        media_bda_connect_graph(&context);

        media::output_pin probe = media::first_output_pin(context.tuner_filter.get());
        if (probe.pin)
            media_printf("found output pin returning now\n");
        com_ptr<IKsPropertySet> properties;
        probe.pin.query(IID_IKsPropertySet, properties);
        // Without a bound tuner, an output pin or its property set nothing can be written.
        if (properties)
            media::write_unicable(properties.get(), settings);

        // Given back in this order: the property bag, the probe pin and its enumerator, the
        // graph, the tuner's device entry, the walk's enumerators, and last the property set.
        entry.bag = nullptr;
        probe.release();
        media_bda_teardown_graph(&context);
        entry.moniker = nullptr;
        category.monikers = nullptr;
        category.device_enumerator = nullptr;
        properties = nullptr;
        return 0;
    }
}
