#pragma once
// Run-time classes: objects that configuration creates by class name
// ("CDefaultBrandExtender", "CMsiExecutor", "CWelcomePage") and tests for kind.
// Registration happens during static initialisation; lookups after it are
// read-only and safe from any thread.

class CObject;

struct CRuntimeClass {
    const wchar_t* m_lpszClassName;
    const CRuntimeClass* m_pBaseClass;
    CObject* (*m_pfnCreateObject)();  // null for classes that cannot be created by name

    // A new object of this class, or null when the class is abstract or allocation fails.
    CObject* CreateObject() const;
    bool IsDerivedFrom(const CRuntimeClass* base) const;
    // Exact, case-sensitive lookup among the classes linked into the program.
    static const CRuntimeClass* FromName(const wchar_t* className);
};

enum class CreateByNameResult { Created, UnknownClass, CreationFailed, WrongKind };

// Creates an object of the registered class className, which must be a kind
// of `kind`; object is set only when the answer is Created (the caller owns it).
CreateByNameResult CreateObjectByName(const wchar_t* className, const CRuntimeClass* kind, CObject*& object);

// Adds a class to the lookup table; one static instance per creatable class.
struct CRuntimeClassRegistration {
    explicit CRuntimeClassRegistration(const CRuntimeClass* runtimeClass);
};

class CObject {
public:
    virtual ~CObject() = default;
    virtual const CRuntimeClass* GetRuntimeClass() const;
    bool IsKindOf(const CRuntimeClass* runtimeClass) const;

    static const CRuntimeClass classCObject;

protected:
    CObject() = default;
};

#define RUNTIME_CLASS(name) (&name::class##name)

#define DECLARE_DYNAMIC(name)                                  \
public:                                                        \
    static const CRuntimeClass class##name;                    \
    const CRuntimeClass* GetRuntimeClass() const override;

#define DECLARE_DYNCREATE(name) \
    DECLARE_DYNAMIC(name)       \
    static CObject* CreateObject();

#define IMPLEMENT_DYNAMIC(name, base)                                                  \
    const CRuntimeClass name::class##name = {L## #name, RUNTIME_CLASS(base), nullptr}; \
    const CRuntimeClass* name::GetRuntimeClass() const { return RUNTIME_CLASS(name); }

#define IMPLEMENT_DYNCREATE(name, base)                                                             \
    CObject* name::CreateObject() { return new (std::nothrow) name; }                               \
    const CRuntimeClass name::class##name = {L## #name, RUNTIME_CLASS(base), &name::CreateObject}; \
    const CRuntimeClass* name::GetRuntimeClass() const { return RUNTIME_CLASS(name); }             \
    static const CRuntimeClassRegistration registration##name(RUNTIME_CLASS(name));
