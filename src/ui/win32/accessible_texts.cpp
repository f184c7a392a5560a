#include "accessible_texts.h"

#include "wide_text.h"

#include <initguid.h>  // the service's and the properties' GUIDs, defined here once
#include <oleacc.h>

namespace pelorin::ui {

namespace {

// UI Automation's LiveSetting property and its value Polite, which MinGW's
// headers lack.
constexpr GUID kLiveSettingProperty = {0xc12bcd8e, 0x2a8e, 0x4950, {0x8a, 0xe7, 0x36, 0x25, 0x11, 0x1d, 0x58, 0xeb}};
constexpr LONG kPoliteLiveSetting = 1;

}  // namespace

AccessibleTexts::AccessibleTexts() {
  void* services = nullptr;
  if (SUCCEEDED(CoCreateInstance(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER,
                                 IID_IAccPropServices, &services))) {
    services_ = static_cast<IAccPropServices*>(services);
  }
}

AccessibleTexts::~AccessibleTexts() {
  if (services_ != nullptr) services_->Release();
}

void AccessibleTexts::SetName(HWND control, std::string_view text) {
  if (services_ == nullptr || control == nullptr) return;
  services_->SetHwndPropStr(control, OBJID_CLIENT, CHILDID_SELF, PROPID_ACC_NAME, Widen(text).c_str());
}

void AccessibleTexts::MarkPoliteLiveRegion(HWND control) {
  if (services_ == nullptr || control == nullptr) return;
  VARIANT polite;
  VariantInit(&polite);
  polite.vt = VT_I4;
  polite.lVal = kPoliteLiveSetting;
  services_->SetHwndProp(control, OBJID_CLIENT, CHILDID_SELF, kLiveSettingProperty, polite);
}

}  // namespace pelorin::ui
