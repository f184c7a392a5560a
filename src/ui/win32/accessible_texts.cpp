#include "accessible_texts.h"

#include "wide_text.h"

#include <initguid.h>  // the service's and the properties' GUIDs, defined here once
#include <oleacc.h>

namespace pelorin::ui {

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

void AccessibleTexts::SetName(HWND control, std::string_view text) { Set(control, PROPID_ACC_NAME, text); }

void AccessibleTexts::SetDescription(HWND control, std::string_view text) {
  Set(control, PROPID_ACC_DESCRIPTION, text);
}

void AccessibleTexts::Set(HWND control, const GUID& property, std::string_view text) {
  if (services_ == nullptr || control == nullptr) return;
  if (text.empty()) {
    MSAAPROPID properties[] = {property};
    services_->ClearHwndProps(control, OBJID_CLIENT, CHILDID_SELF, properties, 1);
  } else {
    services_->SetHwndPropStr(control, OBJID_CLIENT, CHILDID_SELF, property, Widen(text).c_str());
  }
}

}  // namespace pelorin::ui
