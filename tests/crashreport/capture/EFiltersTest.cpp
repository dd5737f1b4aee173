#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

#include "crashreport/capture/EClassNames.h"
#include "crashreport/capture/EFilters.h"
#include "crashreport/capture/EOptions.h"
#include "framework/SysUtils.h"

namespace app {
class EFrozenApplication : public Exception {
public:
    using Exception::Exception;
};
class EDeepFrozen : public EFrozenApplication {
public:
    using EFrozenApplication::EFrozenApplication;
};
}  // namespace app

// Two bases: the walk must look at both.
class ELoggable {
public:
    virtual ~ELoggable() = default;
};
class EMixed : public ELoggable, public EConvertError {
public:
    EMixed() : EConvertError("mixed") {}
};

namespace {

template <class E, class... A>
std::exception_ptr Make(A&&... args)
{
    return std::make_exception_ptr(E(std::forward<A>(args)...));
}

TExceptionFilter Filter(const char* className, uint8_t kind = 0, bool active = true)
{
    TExceptionFilter f;
    f.Active = active;
    f.ClassName = className;
    f.Kind = kind;
    return f;
}

}  // namespace

TEST(Filters, FirstActiveFitWins)
{
    TVurazaModuleOptions options("");
    TVurazaExceptionsFilters& filters = options.ExceptionFilters();
    EXPECT_EQ(-1, filters.FindExceptionFilter(Make<Exception>("x"), false)) << "an empty list";

    filters.Add(Filter("EFrozenApplication", 0, false));  // 0: inactive
    filters.Add(Filter(" efrozenapplication ", 1));        // 1: only with the first flag
    filters.Add(Filter("app::EFrozenApplication", 2));     // 2: only without it
    filters.Add(Filter("ELoggable", 7));                   // 3: a kind that never fits
    filters.Add(Filter("Exception"));                      // 4: every descendant of Exception
    filters.Add(Filter("runtime_error"));                  // 5

    const struct {
        std::exception_ptr error;
        bool firstFlag;
        int expected;
    } cases[] = {
        {Make<app::EFrozenApplication>("f"), true, 1},
        {Make<app::EFrozenApplication>("f"), false, 2},
        {Make<app::EDeepFrozen>("f"), true, 1},
        {Make<EConvertError>("c"), false, 4},
        {Make<EMixed>(), false, 4},
        {Make<std::runtime_error>("r"), false, 4},  // std::exception is called "exception" too
        {std::make_exception_ptr(42), false, -1},
        {std::exception_ptr(), false, -1},
    };
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(cases[i].expected, filters.FindExceptionFilter(cases[i].error, cases[i].firstFlag)) << "case " << i;

    filters.Delete(4);
    EXPECT_EQ(4, filters.FindExceptionFilter(Make<std::runtime_error>("r"), false));
    EXPECT_EQ(-1, filters.FindExceptionFilter(Make<EConvertError>("c"), false));
}

TEST(Filters, AncestryByName)
{
    const struct {
        const std::type_info& type;
        const char* name;
        bool fits;
    } cases[] = {
        {typeid(app::EDeepFrozen), "EDeepFrozen", true},
        {typeid(app::EDeepFrozen), "app::EFrozenApplication", true},
        {typeid(app::EDeepFrozen), "EXCEPTION", true},
        {typeid(app::EDeepFrozen), "EConvertError", false},
        {typeid(EMixed), "ELoggable", true},
        {typeid(EMixed), "EConvertError", true},
        {typeid(EMixed), "", false},
        {typeid(int), "int", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.fits, TypeInheritsFromName(c.type, c.name)) << DemangledTypeName(c.type) << " / " << c.name;
}

TEST(Filters, ActiveXNamesMatchByteForByte)
{
    TVurazaModuleOptions options("");
    TVurazaExceptionsFilters& filters = options.ExceptionFilters();
    filters.Add(Filter("Exception"));
    filters.Add(Filter("ExcelApplication", 1));
    filters.Add(Filter("Word.Document"));
    auto activeX = [](std::vector<std::string> names) { return Make<TActiveXException>("ole", std::move(names)); };
    EXPECT_EQ(1, filters.FindExceptionFilter(activeX({"ExcelApplication"}), false)) << "kind is not tested";
    EXPECT_EQ(2, filters.FindExceptionFilter(activeX({"Other", "Word.Document"}), false));
    EXPECT_EQ(-1, filters.FindExceptionFilter(activeX({"word.document"}), false)) << "case counts";
    EXPECT_EQ(-1, filters.FindExceptionFilter(activeX({"Exception "}), false)) << "blanks count, ancestry doesn't";
    EXPECT_EQ(-1, filters.FindExceptionFilter(activeX({}), false));
}

TEST(Filters, CopiesAreIndependent)
{
    auto source = std::make_unique<TVurazaModuleOptions>("");
    TExceptionFilter f = Filter("EFoo");
    f.Message = std::string(100, 'm');  // long enough to live on the heap
    f.DialogChoice = 3;
    f.Handler = 1;
    f.Action = 5;
    source->ExceptionFilters().Add(f);
    source->ExceptionFilters().Add(Filter("EBar"));

    TVurazaModuleOptions copy("");
    copy.ExceptionFilters().AssignFilters(source->ExceptionFilters());
    source->ExceptionFilters().Delete(0);
    source.reset();  // ASan sees any record still shared
    ASSERT_EQ(2, copy.ExceptionFilters().Count());
    const TExceptionFilter& g = copy.ExceptionFilters().Items(0);
    EXPECT_EQ("EFoo", g.ClassName);
    EXPECT_EQ(std::string(100, 'm'), g.Message);
    EXPECT_EQ(3, g.DialogChoice);
    EXPECT_EQ(1, g.Handler);
    EXPECT_EQ(5, g.Action);
    EXPECT_THROW(copy.ExceptionFilters().Delete(2), std::out_of_range);
    EXPECT_EQ(2, copy.ExceptionFilters().Count());
}
