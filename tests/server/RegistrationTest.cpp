#include "server/ClassObject.h"
#include "server/ClassTable.h"
#include "server/Registration.h"
#include "support/ModuleFixture.h"
#include "support/RecordingRegistrar.h"
#include "support/ScopedValue.h"
#include <optional>
#include <string>

extern "C" HRESULT WINAPI DllRegisterServer();
extern "C" HRESULT WINAPI DllUnregisterServer();

namespace {

using Calls = std::vector<std::wstring>;

std::wstring ModulePath()
{
    WCHAR path[MAX_PATH];
    GetModuleFileNameW(GetModuleHandleW(nullptr), path, MAX_PATH);
    return path;
}

// Registration with the test's own registrar and category manager in place of the platform's.
class RegistrationTest : public ModuleFixture {
protected:
    void SetUp() override
    {
        ModuleFixture::SetUp();
        ASSERT_EQ(CoInitialize(nullptr), S_OK);
        registrarOverride.emplace(CLSID_Registrar, &registrar, &registrar.created);
        categoriesOverride.emplace(CLSID_StdComponentCategoriesMgr, &categories, &categories.created);
    }
    void TearDown() override
    {
        registrarOverride.reset();
        categoriesOverride.reset();
        CoUninitialize();
        EXPECT_EQ(registrar.references, 0) << "the registrar must be released on every path";
        EXPECT_EQ(categories.references, 0) << "the category manager must be released on every path";
        ModuleFixture::TearDown();
    }

    RecordingRegistrar registrar;
    RecordingCategories categories;
    std::optional<ClassOverride> registrarOverride;
    std::optional<ClassOverride> categoriesOverride;
    BroadcastCounter broadcasts;
};

TEST_F(RegistrationTest, RegisteringRunsScript101AndTakesItsAbsenceAsSuccess)
{
    EXPECT_EQ(DllRegisterServer(), S_OK);
    EXPECT_EQ(registrar.calls, (Calls{L"AddReplacement(Module, " + ModulePath() + L")",
                                      L"ResourceRegister(" + ModulePath() + L", 101, REGISTRY)"}));
    EXPECT_EQ(categories.created, 0) << "the missing script ends the walk before the category step";
    EXPECT_EQ(broadcasts.Collect(), 1);
    EXPECT_EQ(broadcasts.malformed, 0);
}

TEST_F(RegistrationTest, OtherRegistrarFailuresAreReportedWhenRegisteringOnly)
{
    registrar.answer = E_ACCESSDENIED;
    EXPECT_EQ(DllRegisterServer(), E_ACCESSDENIED);
    EXPECT_EQ(broadcasts.Collect(), 1);

    registrar.calls.clear();
    EXPECT_EQ(DllUnregisterServer(), S_OK);
    EXPECT_EQ(registrar.calls, (Calls{L"AddReplacement(Module, " + ModulePath() + L")",
                                      L"ResourceUnregister(" + ModulePath() + L", 101, REGISTRY)"}));
    EXPECT_EQ(broadcasts.Collect(), 1);
}

TEST_F(RegistrationTest, ClassWithoutCategoriesNeedsNoManager)
{
    registrar.answer = S_OK;
    EXPECT_EQ(DllRegisterServer(), S_OK);
    EXPECT_EQ(DllUnregisterServer(), S_OK);
    EXPECT_EQ(categories.created, 0);
    EXPECT_EQ(broadcasts.Collect(), 2);
}

TEST_F(RegistrationTest, NoRegistrarMeansFailureWhenRegisteringOnly)
{
    int attempts = 0;
    registrarOverride.emplace(CLSID_Registrar, nullptr, &attempts);
    EXPECT_EQ(DllRegisterServer(), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(DllUnregisterServer(), S_OK);
    EXPECT_EQ(attempts, 2) << "each direction asks for the registrar once";
    EXPECT_EQ(broadcasts.Collect(), 2);
}

// A class table of the test's own, to follow the walk: the rows it visits, and class B's answer.
std::string walkLog;
HRESULT answerB;

// {6F1C2D3E-0001-4A5B-8C9D-0E1F2A3B4C5D} and so on: classes and categories of the test.
constexpr CLSID ClassA = {0x6F1C2D3E, 1, 0x4A5B, {0x8C, 0x9D, 0x0E, 0x1F, 0x2A, 0x3B, 0x4C, 0x5D}};
constexpr CLSID ClassB = {0x6F1C2D3E, 2, 0x4A5B, {0x8C, 0x9D, 0x0E, 0x1F, 0x2A, 0x3B, 0x4C, 0x5D}};
constexpr CLSID ClassC = {0x6F1C2D3E, 3, 0x4A5B, {0x8C, 0x9D, 0x0E, 0x1F, 0x2A, 0x3B, 0x4C, 0x5D}};
constexpr GUID Implemented = {0x6F1C2D3E, 4, 0x4A5B, {0x8C, 0x9D, 0x0E, 0x1F, 0x2A, 0x3B, 0x4C, 0x5D}};
constexpr GUID Required = {0x6F1C2D3E, 5, 0x4A5B, {0x8C, 0x9D, 0x0E, 0x1F, 0x2A, 0x3B, 0x4C, 0x5D}};

const CategoryEntry twoCategories[] = {{1, &Implemented}, {7, &Required}, {0, nullptr}};
const CategoryEntry emptyCategories[] = {{0, nullptr}, {1, &Implemented}};

ClassEntry walkTable[] = {
    {&ClassA, [](BOOL r) { walkLog += r ? "+A" : "-A"; return S_OK; }, CreateClassObject, nullptr, nullptr, 0,
     [] { return "described"; }, [] { return twoCategories; }, [](bool) {}},
    {&ClassB, [](BOOL r) { walkLog += r ? "+B" : "-B"; return answerB; }, CreateClassObject, nullptr,
     nullptr, 0, [] { return static_cast<const char*>(nullptr); }, [] { return twoCategories; }, [](bool) {}},
    {&ClassC, [](BOOL r) { walkLog += r ? "+C" : "-C"; return S_OK; }, CreateClassObject, nullptr, nullptr, 0,
     nullptr, [] { return emptyCategories; }, [](bool) {}},
    {nullptr, nullptr, nullptr, nullptr, nullptr, 0, nullptr, nullptr, nullptr},
};

// A call for class B, the only one with categories, naming one of them.
std::wstring CategoryCall(const wchar_t* method, REFGUID category)
{
    return method + (L"(" + GuidText(ClassB) + L", 1, " + GuidText(category) + L")");
}

class RegistrationWalkTest : public RegistrationTest {
protected:
    void SetUp() override
    {
        RegistrationTest::SetUp();
        walkLog.clear();
        answerB = S_OK;
        moduleRecord.classTable = walkTable;
    }
};

TEST_F(RegistrationWalkTest, DescribedRowsAreSkippedAndCategoriesFollowEachRow)
{
    EXPECT_EQ(DllRegisterServer(), S_OK);
    EXPECT_EQ(walkLog, "+B+C");
    EXPECT_EQ(categories.calls, (Calls{CategoryCall(L"RegisterClassImplCategories", Implemented),
                                       CategoryCall(L"RegisterClassReqCategories", Required)}));
    EXPECT_EQ(categories.created, 2) << "one manager per class with a table, even an empty one";

    categories.calls.clear();
    EXPECT_EQ(DllUnregisterServer(), S_OK);
    EXPECT_EQ(walkLog, "+B+C-B-C");
    EXPECT_EQ(categories.calls, (Calls{CategoryCall(L"UnRegisterClassImplCategories", Implemented),
                                       CategoryCall(L"UnRegisterClassReqCategories", Required)}));
    EXPECT_EQ(broadcasts.Collect(), 2);
}

TEST_F(RegistrationWalkTest, FailureStopsRegisteringButNotUnregistering)
{
    answerB = E_FAIL;
    EXPECT_EQ(DllRegisterServer(), E_FAIL);
    EXPECT_EQ(walkLog, "+B");
    EXPECT_EQ(categories.created, 0) << "a failed row's category step does not run";

    EXPECT_EQ(DllUnregisterServer(), S_OK);
    EXPECT_EQ(walkLog, "+B-B-C");
    EXPECT_EQ(broadcasts.Collect(), 2);
}

TEST_F(RegistrationWalkTest, FailingCategoryCallStopsRegistering)
{
    categories.failingCall = 0;
    EXPECT_EQ(DllRegisterServer(), E_FAIL);
    EXPECT_EQ(walkLog, "+B");
    EXPECT_EQ(categories.calls.size(), 1u) << "rows behind the failure are not registered";

    categories.calls.clear();
    EXPECT_EQ(DllUnregisterServer(), S_OK);
    EXPECT_EQ(categories.calls.size(), 2u) << "unregistering visits every row";
}

TEST_F(RegistrationWalkTest, MissingCategoryManagerIsNoFailure)
{
    int attempts = 0;
    categoriesOverride.emplace(CLSID_StdComponentCategoriesMgr, nullptr, &attempts);
    EXPECT_EQ(RegisterClassCategories(ClassB, twoCategories, TRUE), S_OK);
    EXPECT_EQ(RegisterClassCategories(ClassB, twoCategories, FALSE), S_OK);
    EXPECT_EQ(attempts, 2);
    EXPECT_EQ(DllRegisterServer(), S_OK);
    EXPECT_EQ(walkLog, "+B+C");
}

TEST_F(RegistrationWalkTest, OtherRecordLayoutsSkipTheCategoryStep)
{
    ScopedValue<UINT> otherLayout(moduleRecord.size, 100);
    EXPECT_EQ(DllRegisterServer(), S_OK);
    EXPECT_EQ(DllUnregisterServer(), S_OK);
    EXPECT_EQ(categories.created, 0);
}

} // namespace
