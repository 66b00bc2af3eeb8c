#include <gtest/gtest.h>

#include <memory>

#include "app/BrandExtender.h"
#include "framework/ErrorTypes.h"

namespace {
TEST(RuntimeClass, CreatesConfiguredClassesByExactName) {
    const CRuntimeClass* found = CRuntimeClass::FromName(L"CDefaultBrandExtender");
    ASSERT_NE(found, nullptr);
    std::unique_ptr<CObject> object(found->CreateObject());
    ASSERT_NE(object, nullptr);
    EXPECT_TRUE(object->IsKindOf(RUNTIME_CLASS(IBrandExtender)));
    EXPECT_TRUE(object->IsKindOf(RUNTIME_CLASS(CObject)));
    EXPECT_FALSE(object->IsKindOf(RUNTIME_CLASS(CException)));
    EXPECT_EQ(static_cast<IBrandExtender*>(object.get())->Initialize(), S_OK);

    EXPECT_EQ(CRuntimeClass::FromName(L"cdefaultbrandextender"), nullptr);
    EXPECT_EQ(CRuntimeClass::FromName(L"CDefaultBrandExtender "), nullptr);
    EXPECT_EQ(CRuntimeClass::FromName(nullptr), nullptr);
}

TEST(RuntimeClass, KindOfFollowsTheBaseChain) {
    CToolkitException e(L"x");
    EXPECT_TRUE(e.IsKindOf(RUNTIME_CLASS(CException)));
    EXPECT_FALSE(e.IsKindOf(RUNTIME_CLASS(CMsiException)));
    EXPECT_EQ(RUNTIME_CLASS(IBrandExtender)->CreateObject(), nullptr);
}
}  // namespace
