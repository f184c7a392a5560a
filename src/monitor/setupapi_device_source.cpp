#include "setupapi_device_source.h"

#include "wide_text.h"

#include <windows.h>
#include <setupapi.h>

#include <string>

namespace pelorin::monitor {

namespace {

// A text property of the device in UTF-8; nothing when the device has none.
// Read in UTF-16, so that a Japanese name survives on every system language.
std::optional<std::string> TextProperty(HDEVINFO devices, SP_DEVINFO_DATA& device, DWORD property) {
  DWORD size = 0;
  SetupDiGetDeviceRegistryPropertyW(devices, &device, property, nullptr, nullptr, 0, &size);
  if (size == 0) return std::nullopt;
  std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
  if (!SetupDiGetDeviceRegistryPropertyW(devices, &device, property, nullptr,
                                         reinterpret_cast<BYTE*>(text.data()), size, nullptr)) {
    return std::nullopt;
  }
  text.resize(wcslen(text.c_str()));
  return Narrow(text);
}

}  // namespace

std::optional<std::vector<DeviceRecord>> SetupApiDeviceSource::PresentDevices(SerialPortRegistry&) {
  HDEVINFO devices = SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES);
  if (devices == INVALID_HANDLE_VALUE) return std::nullopt;
  std::vector<DeviceRecord> records;
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof device;
  for (DWORD index = 0; SetupDiEnumDeviceInfo(devices, index, &device); ++index) {
    records.push_back({TextProperty(devices, device, SPDRP_DEVICEDESC),
                       TextProperty(devices, device, SPDRP_FRIENDLYNAME)});
  }
  SetupDiDestroyDeviceInfoList(devices);
  return records;
}

}  // namespace pelorin::monitor
