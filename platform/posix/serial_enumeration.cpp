#include "platform/serial_enumeration.h"

#include <libudev.h>

#include <cerrno>
#include <cstring>

namespace platform {

namespace {

std::string prop(udev_device* d, const char* name) {
    const char* v = udev_device_get_property_value(d, name);
    return v ? v : "";
}

std::string cleaned(std::string s) {
    for (auto& c : s)
        if (c == '_') c = ' ';
    return s;
}

}  // namespace

std::vector<SerialDeviceFound> enumerateSerialDevices(SystemError& err) {
    std::vector<SerialDeviceFound> found;
    udev* u = udev_new();
    if (!u) {
        err = SystemError::fromCode(errno ? errno : ENOMEM, "udev");
        return found;
    }
    udev_enumerate* en = udev_enumerate_new(u);
    if (!en || udev_enumerate_add_match_subsystem(en, "tty") < 0 ||
        udev_enumerate_scan_devices(en) < 0) {
        err = SystemError::fromCode(errno ? errno : EIO, "udev enumeration");
        if (en) udev_enumerate_unref(en);
        udev_unref(u);
        return found;
    }
    udev_list_entry* entry;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(en)) {
        udev_device* d = udev_device_new_from_syspath(u, udev_list_entry_get_name(entry));
        if (!d) continue;
        // Virtual terminals have no parent device; a serial port has hardware behind it.
        udev_device* parent = udev_device_get_parent(d);
        const char* node = udev_device_get_devnode(d);
        const char* driver = parent ? udev_device_get_driver(parent) : nullptr;
        bool platformPlaceholder = driver && std::strcmp(driver, "serial8250") == 0;
        if (parent && node && driver && !platformPlaceholder) {
            SerialDeviceFound f;
            f.devNode = node;
            f.stablePath = f.devNode;
            if (std::string links = prop(d, "DEVLINKS"); !links.empty()) {
                size_t pos = 0;
                while (pos < links.size()) {
                    size_t sp = links.find(' ', pos);
                    std::string link =
                        links.substr(pos, sp == std::string::npos ? std::string::npos : sp - pos);
                    if (link.rfind("/dev/serial/by-id/", 0) == 0) f.stablePath = link;
                    if (sp == std::string::npos) break;
                    pos = sp + 1;
                }
            }
            std::string vendor = prop(d, "ID_VENDOR_FROM_DATABASE");
            if (vendor.empty()) vendor = cleaned(prop(d, "ID_VENDOR"));
            std::string model = prop(d, "ID_MODEL_FROM_DATABASE");
            if (model.empty()) model = cleaned(prop(d, "ID_MODEL"));
            f.description = vendor.empty() ? model : model.empty() ? vendor : vendor + " " + model;
            f.isUsb = prop(d, "ID_BUS") == "usb";
            found.push_back(std::move(f));
        }
        udev_device_unref(d);
    }
    udev_enumerate_unref(en);
    udev_unref(u);
    return found;
}

}  // namespace platform
