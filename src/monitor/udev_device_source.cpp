#include "udev_device_source.h"

#include "serial_ports.h"

#include <libudev.h>

#include <cstring>
#include <optional>
#include <string>

namespace pelorin::monitor {

namespace {

std::string Text(const char* value) { return value != nullptr ? value : ""; }

// serial8250 registers ttyS0..ttyS31 whether or not a UART is there; the
// serial core reports type 0 (PORT_UNKNOWN) for those without one.
bool IsPhantomLegacyPort(udev_device* tty, udev_device* parent) {
  const std::string driver = Text(udev_device_get_driver(parent));
  if (driver != "serial8250" && std::strncmp(udev_device_get_sysname(tty), "ttyS", 4) != 0) {
    return false;
  }
  const char* type = udev_device_get_sysattr_value(tty, "type");
  return type == nullptr || std::string(type) == "0";
}

struct UsbIdentity {
  bool usb = false;
  std::string identity;  // vendor, product, serial number (or port path), interface
  std::string product;
};

UsbIdentity FindUsbIdentity(udev_device* tty) {
  UsbIdentity found;
  udev_device* interface = udev_device_get_parent_with_subsystem_devtype(tty, "usb", "usb_interface");
  udev_device* device = udev_device_get_parent_with_subsystem_devtype(tty, "usb", "usb_device");
  if (device == nullptr) return found;
  found.usb = true;
  const std::string serial = Text(udev_device_get_sysattr_value(device, "serial"));
  found.identity = "usb:" + Text(udev_device_get_sysattr_value(device, "idVendor")) + ":" +
                   Text(udev_device_get_sysattr_value(device, "idProduct")) + ":" +
                   (serial.empty() ? "port-" + Text(udev_device_get_sysname(device)) : serial) +
                   ":if" +
                   (interface ? Text(udev_device_get_sysattr_value(interface, "bInterfaceNumber")) : "");
  found.product = Text(udev_device_get_sysattr_value(device, "product"));
  return found;
}

std::string Description(udev_device* tty, udev_device* parent, const UsbIdentity& usb) {
  for (const char* key : {"ID_MODEL_FROM_DATABASE", "ID_MODEL"}) {
    const std::string value = Text(udev_device_get_property_value(tty, key));
    if (!value.empty()) return value;
  }
  if (!usb.product.empty()) return usb.product;
  const std::string driver = Text(udev_device_get_driver(parent));
  const std::string port = "シリアルポート";
  return driver.empty() || driver == "port" ? port : port + " (" + driver + ")";
}

// A serial port worth listing: a tty with a parent device and a node, and
// not a legacy port without hardware. Registers it and gives its record.
std::optional<DeviceRecord> SerialPortRecord(udev_device* tty, SerialPortRegistry& ports) {
  udev_device* parent = udev_device_get_parent(tty);
  const char* node = udev_device_get_devnode(tty);
  if (parent == nullptr || node == nullptr || IsPhantomLegacyPort(tty, parent)) return std::nullopt;
  const UsbIdentity usb = FindUsbIdentity(tty);
  const int32_t number = ports.NumberFor(usb.usb ? usb.identity : node, node);
  DeviceRecord record;
  record.description = Description(tty, parent, usb);
  record.friendlyName = *record.description + " - " + node + (usb.usb ? " [USB]" : "") +
                        " (COM" + std::to_string(number) + ")";
  return record;
}

}  // namespace

UdevDeviceSource::UdevDeviceSource() : udev_(udev_new()) {
  if (udev_ == nullptr) return;
  monitor_ = udev_monitor_new_from_netlink(udev_, "udev");
  if (monitor_ != nullptr &&
      (udev_monitor_filter_add_match_subsystem_devtype(monitor_, "tty", nullptr) < 0 ||
       udev_monitor_enable_receiving(monitor_) < 0)) {
    udev_monitor_unref(monitor_);
    monitor_ = nullptr;
  }
}

UdevDeviceSource::~UdevDeviceSource() {
  if (monitor_ != nullptr) udev_monitor_unref(monitor_);
  if (udev_ != nullptr) udev_unref(udev_);
}

std::optional<std::vector<DeviceRecord>> UdevDeviceSource::PresentDevices(SerialPortRegistry& ports) {
  if (udev_ == nullptr) return std::nullopt;
  udev_enumerate* enumerate = udev_enumerate_new(udev_);
  if (enumerate == nullptr) return std::nullopt;
  udev_enumerate_add_match_subsystem(enumerate, "tty");
  udev_enumerate_scan_devices(enumerate);

  std::vector<DeviceRecord> devices;
  udev_list_entry* entry = nullptr;
  udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumerate)) {
    udev_device* tty = udev_device_new_from_syspath(udev_, udev_list_entry_get_name(entry));
    if (tty == nullptr) continue;
    if (auto record = SerialPortRecord(tty, ports)) devices.push_back(std::move(*record));
    udev_device_unref(tty);
  }
  udev_enumerate_unref(enumerate);
  return devices;
}

int UdevDeviceSource::ChangeDescriptor() const {
  return monitor_ != nullptr ? udev_monitor_get_fd(monitor_) : -1;
}

DeviceSource::Change UdevDeviceSource::ReadChange(SerialPortRegistry& ports) {
  if (monitor_ == nullptr) return Change::None;
  udev_device* device = udev_monitor_receive_device(monitor_);
  if (device == nullptr) return Change::None;
  const std::string action = Text(udev_device_get_action(device));
  if (action == "add") SerialPortRecord(device, ports);
  udev_device_unref(device);
  if (action == "add") return Change::PortArrived;
  if (action == "remove") return Change::PortRemoved;
  return Change::None;
}

}  // namespace pelorin::monitor
