#include "control_accessible.h"

#include <commctrl.h>
#include <oleacc.h>

#include <new>

namespace pelorin::ui {

namespace {

constexpr UINT_PTR kSubclassId = 1;
// Where a hooked control keeps its faces for the objects it hands out.
constexpr wchar_t kFacesProperty[] = L"PelorinAccessibleFaces";

// The faces of a control still hooked; none once it is destroyed.
const AccessibleFaces* FacesOf(HWND control) {
  return static_cast<const AccessibleFaces*>(GetPropW(control, kFacesProperty));
}

bool IsSelf(const VARIANT& child) { return child.vt == VT_I4 && child.lVal == CHILDID_SELF; }

HRESULT GiveText(const std::wstring& text, BSTR* out) {
  if (out == nullptr) return E_POINTER;
  *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  return *out != nullptr ? S_OK : E_OUTOFMEMORY;
}

// The system's accessible object for the control, with the name, value and
// role its window gives it; every other question goes to the system's object.
class ControlAccessible final : public IAccessible, public IOleWindow {
 public:
  // Takes over the reference held on standard.
  ControlAccessible(HWND control, IAccessible* standard) : control_(control), standard_(standard) {}
  ControlAccessible(const ControlAccessible&) = delete;
  ControlAccessible& operator=(const ControlAccessible&) = delete;

  // IUnknown
  STDMETHODIMP QueryInterface(REFIID interfaceId, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (interfaceId == IID_IUnknown || interfaceId == IID_IDispatch || interfaceId == IID_IAccessible) {
      *object = static_cast<IAccessible*>(this);
    } else if (interfaceId == IID_IOleWindow) {
      *object = static_cast<IOleWindow*>(this);
    } else {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&references_)); }
  STDMETHODIMP_(ULONG) Release() override {
    const LONG left = InterlockedDecrement(&references_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }

  // IOleWindow: how a client finds the control from its object.
  STDMETHODIMP GetWindow(HWND* window) override {
    if (window == nullptr) return E_POINTER;
    *window = control_;
    return S_OK;
  }
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

  // IDispatch: the system's type information, dispatched to this object so
  // that a late-bound client hears the same as any other.
  STDMETHODIMP GetTypeInfoCount(UINT* count) override { return standard_->GetTypeInfoCount(count); }
  STDMETHODIMP GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override {
    return standard_->GetTypeInfo(index, locale, info);
  }
  STDMETHODIMP GetIDsOfNames(REFIID interfaceId, LPOLESTR* names, UINT count, LCID locale,
                             DISPID* ids) override {
    return standard_->GetIDsOfNames(interfaceId, names, count, locale, ids);
  }
  STDMETHODIMP Invoke(DISPID member, REFIID interfaceId, LCID locale, WORD flags, DISPPARAMS* parameters,
                      VARIANT* result, EXCEPINFO* exception, UINT* badArgument) override {
    if (interfaceId != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    ITypeInfo* info = nullptr;
    const HRESULT found = standard_->GetTypeInfo(0, locale, &info);
    if (FAILED(found)) return found;
    const HRESULT done = info->Invoke(static_cast<IAccessible*>(this), member, flags, parameters, result,
                                      exception, badArgument);
    info->Release();
    return done;
  }

  // IAccessible: the control's own name, value and role.
  STDMETHODIMP get_accName(VARIANT child, BSTR* name) override {
    if (IsSelf(child)) {
      if (const auto face = Face()) return GiveText(face->name, name);
    }
    return standard_->get_accName(child, name);
  }
  STDMETHODIMP get_accValue(VARIANT child, BSTR* value) override {
    if (IsSelf(child)) {
      if (const auto face = Face(); face && face->value) return GiveText(*face->value, value);
    }
    return standard_->get_accValue(child, value);
  }
  STDMETHODIMP get_accRole(VARIANT child, VARIANT* role) override {
    if (IsSelf(child) && role != nullptr) {
      if (const auto face = Face()) {
        role->vt = VT_I4;
        role->lVal = face->role;
        return S_OK;
      }
    }
    return standard_->get_accRole(child, role);
  }

  // IAccessible: the rest as the system describes the control.
  STDMETHODIMP get_accParent(IDispatch** parent) override { return standard_->get_accParent(parent); }
  STDMETHODIMP get_accChildCount(LONG* count) override { return standard_->get_accChildCount(count); }
  STDMETHODIMP get_accChild(VARIANT child, IDispatch** object) override {
    return standard_->get_accChild(child, object);
  }
  STDMETHODIMP get_accDescription(VARIANT child, BSTR* text) override {
    return standard_->get_accDescription(child, text);
  }
  STDMETHODIMP get_accState(VARIANT child, VARIANT* state) override { return standard_->get_accState(child, state); }
  STDMETHODIMP get_accHelp(VARIANT child, BSTR* text) override { return standard_->get_accHelp(child, text); }
  STDMETHODIMP get_accHelpTopic(BSTR* file, VARIANT child, LONG* topic) override {
    return standard_->get_accHelpTopic(file, child, topic);
  }
  STDMETHODIMP get_accKeyboardShortcut(VARIANT child, BSTR* text) override {
    return standard_->get_accKeyboardShortcut(child, text);
  }
  STDMETHODIMP get_accFocus(VARIANT* child) override { return standard_->get_accFocus(child); }
  STDMETHODIMP get_accSelection(VARIANT* children) override { return standard_->get_accSelection(children); }
  STDMETHODIMP get_accDefaultAction(VARIANT child, BSTR* text) override {
    return standard_->get_accDefaultAction(child, text);
  }
  STDMETHODIMP accSelect(LONG how, VARIANT child) override { return standard_->accSelect(how, child); }
  STDMETHODIMP accLocation(LONG* left, LONG* top, LONG* width, LONG* height, VARIANT child) override {
    return standard_->accLocation(left, top, width, height, child);
  }
  STDMETHODIMP accNavigate(LONG direction, VARIANT start, VARIANT* end) override {
    return standard_->accNavigate(direction, start, end);
  }
  STDMETHODIMP accHitTest(LONG x, LONG y, VARIANT* child) override { return standard_->accHitTest(x, y, child); }
  STDMETHODIMP accDoDefaultAction(VARIANT child) override { return standard_->accDoDefaultAction(child); }
  STDMETHODIMP put_accName(VARIANT child, BSTR name) override { return standard_->put_accName(child, name); }
  STDMETHODIMP put_accValue(VARIANT child, BSTR value) override { return standard_->put_accValue(child, value); }

 private:
  ~ControlAccessible() { standard_->Release(); }

  std::optional<AccessibleFace> Face() const {
    const AccessibleFaces* faces = FacesOf(control_);
    return faces != nullptr ? faces->FaceOf(control_) : std::nullopt;
  }

  HWND control_;
  IAccessible* standard_;
  LONG references_ = 1;
};

// A new object for each request; the client's reference (taken by
// LresultFromObject) is then the only one left.
LRESULT AnswerObjectRequest(HWND control, WPARAM flags) {
  IAccessible* standard = nullptr;
  if (FAILED(CreateStdAccessibleObject(control, OBJID_CLIENT, IID_IAccessible,
                                       reinterpret_cast<void**>(&standard)))) {
    return 0;  // the system answers for the control as it would without us
  }
  auto* answer = new (std::nothrow) ControlAccessible(control, standard);
  if (answer == nullptr) {
    standard->Release();
    return 0;
  }
  const LRESULT result = LresultFromObject(IID_IAccessible, flags, static_cast<IAccessible*>(answer));
  answer->Release();
  return result;
}

LRESULT CALLBACK SpeakingControlProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                     DWORD_PTR) {
  // The object id comes as a 32-bit number, whatever the width of lParam.
  if (message == WM_GETOBJECT && static_cast<LONG>(static_cast<DWORD>(lParam)) == OBJID_CLIENT) {
    if (const LRESULT answer = AnswerObjectRequest(control, wParam); answer > 0) return answer;
  } else if (message == WM_NCDESTROY) {
    RemovePropW(control, kFacesProperty);
    RemoveWindowSubclass(control, &SpeakingControlProc, kSubclassId);
  }
  return DefSubclassProc(control, message, wParam, lParam);
}

}  // namespace

bool SpeakForItself(HWND control, const AccessibleFaces& faces) {
  if (!SetPropW(control, kFacesProperty, const_cast<AccessibleFaces*>(&faces))) return false;
  if (SetWindowSubclass(control, &SpeakingControlProc, kSubclassId, 0)) return true;
  RemovePropW(control, kFacesProperty);
  return false;
}

}  // namespace pelorin::ui
