#pragma once
// Non-copyable owners of a BSTR and of a VARIANT.
#include <oleauto.h>

#include <utility>

class ScopedBstr {
public:
    ScopedBstr() = default;
    explicit ScopedBstr(const wchar_t* text) : m_bstr(text ? SysAllocString(text) : nullptr) {}
    ~ScopedBstr() { SysFreeString(m_bstr); }
    ScopedBstr(const ScopedBstr&) = delete;
    ScopedBstr& operator=(const ScopedBstr&) = delete;
    BSTR Get() const { return m_bstr; }
    BSTR* Receive() {
        SysFreeString(std::exchange(m_bstr, nullptr));
        return &m_bstr;
    }

private:
    BSTR m_bstr = nullptr;
};

class ScopedVariant {
public:
    ScopedVariant() { VariantInit(&m_variant); }
    ~ScopedVariant() { VariantClear(&m_variant); }
    ScopedVariant(const ScopedVariant&) = delete;
    ScopedVariant& operator=(const ScopedVariant&) = delete;
    VARIANT& Get() { return m_variant; }
    VARIANT* Receive() {
        VariantClear(&m_variant);
        return &m_variant;
    }

private:
    VARIANT m_variant;
};

// A VT_BOOL variant holding value (nothing to free).
inline VARIANT MakeBoolVariant(bool value) {
    VARIANT variant;
    VariantInit(&variant);
    V_VT(&variant) = VT_BOOL;
    V_BOOL(&variant) = value ? VARIANT_TRUE : VARIANT_FALSE;
    return variant;
}
