#include "framework/RuntimeClass.h"

#include <cwchar>
#include <new>
#include <vector>

namespace {
// Function-local so that registrations from any translation unit find it built.
std::vector<const CRuntimeClass*>& RegisteredClasses() {
    static std::vector<const CRuntimeClass*> classes;
    return classes;
}
}  // namespace

const CRuntimeClass CObject::classCObject = {L"CObject", nullptr, nullptr};

const CRuntimeClass* CObject::GetRuntimeClass() const { return &classCObject; }

bool CObject::IsKindOf(const CRuntimeClass* runtimeClass) const {
    return GetRuntimeClass()->IsDerivedFrom(runtimeClass);
}

CObject* CRuntimeClass::CreateObject() const {
    return m_pfnCreateObject ? m_pfnCreateObject() : nullptr;
}

bool CRuntimeClass::IsDerivedFrom(const CRuntimeClass* base) const {
    for (const CRuntimeClass* c = this; c; c = c->m_pBaseClass) {
        if (c == base) return true;
    }
    return false;
}

const CRuntimeClass* CRuntimeClass::FromName(const wchar_t* className) {
    if (!className) return nullptr;
    for (const CRuntimeClass* c : RegisteredClasses()) {
        if (std::wcscmp(c->m_lpszClassName, className) == 0) return c;
    }
    return nullptr;
}

CRuntimeClassRegistration::CRuntimeClassRegistration(const CRuntimeClass* runtimeClass) {
    RegisteredClasses().push_back(runtimeClass);
}

CreateByNameResult CreateObjectByName(const wchar_t* className, const CRuntimeClass* kind, CObject*& object) {
    object = nullptr;
    const CRuntimeClass* runtimeClass = CRuntimeClass::FromName(className);
    if (!runtimeClass) return CreateByNameResult::UnknownClass;
    if (!runtimeClass->IsDerivedFrom(kind)) return CreateByNameResult::WrongKind;
    object = runtimeClass->CreateObject();
    return object ? CreateByNameResult::Created : CreateByNameResult::CreationFailed;
}
