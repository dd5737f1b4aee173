#include <gtest/gtest.h>

#include "crashreport/capture/EDebugNames.h"
#include "crashreport/capture/EReporterUnits.h"

TEST(ExportNames, ParseExportName)
{
    const struct {
        const char* name;
        bool parsed;
        int kind;
        const char* unit;
        const char* className;
        const char* procedure;
    } cases[] = {
        {"MessageBoxA", true, 2, "", "", "MessageBoxA"},
        {"@Unit@TClass@Proc$qqrv", true, 3, "Unit.pas", "TClass", "Proc"},
        {"@Unit@Proc$qqrv", true, 3, "Unit.pas", "", "Proc"},
        {"@Unit@Proc@", true, 3, "Unit.pas", "", "Proc"},
        {"@Unit@@Proc$qqrv", true, 3, "Unit.pas", "", "_Proc"},
        {"Unit.Proc@4", true, 3, "Unit.pas", "", "Proc"},
        {"Unit.TClass.Proc", true, 3, "Unit.pas", "TClass", "Proc"},
        {"@Fast@8", true, 2, "", "", "Fast"},
        {"@Fast@12", true, 2, "", "", "Fast"},
        {"?f@@YAXXZ", false, 9, "u", "c", "p"},
        {"a.b.c.d", false, 9, "u", "c", "p"},
        {"", false, 9, "u", "c", "p"},
        {"@$xp$5TFoo", true, 2, "", "", "_$xp$5TFoo"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TAddressNames item{9, "u", "c", "p"};
        EXPECT_EQ(c.parsed, ParseExportName(c.name, item));
        EXPECT_EQ(c.kind, item.Kind);
        EXPECT_EQ(c.unit, item.UnitName);
        EXPECT_EQ(c.className, item.ClassName);
        EXPECT_EQ(c.procedure, item.ProcedureName);
    }
}

TEST(DebugSourceNames, SplitTable)
{
    const struct {
        const char* unitText;
        const char* sourceFile;
        const char* procText;
        uint32_t line;
        bool module;
        int kind;
        const char* unit;
        const char* className;
        const char* procedure;
    } cases[] = {
        {"UnitA", "src\\UnitA.pas", "UnitA.TFoo.Bar", 12, true, 4, "UnitA.pas", "TFoo", "Bar"},
        {"UnitA", "src/UnitA.pas", "unita.Bar", 12, true, 4, "UnitA.pas", "", "Bar"},
        {"UnitA", "UnitA.pas", "TFoo.Bar", 0, true, 3, "UnitA.pas", "TFoo", "Bar"},
        {"UnitA", "", "Bar", 0, true, 3, "UnitA", "", "Bar"},
        {"C:\\x\\Main.cpp", "", "ns.TFoo.Bar.Baz", 3, true, 4, "Main.cpp", "TFoo", "Bar.Baz"},
        {"UnitA", "", "@Init", 0, true, 3, "UnitA", "", "_Init"},
        {"UnitA", "", "TFoo.@Free", 0, true, 3, "UnitA", "TFoo", "_Free"},
        {"", "", "Bar", 0, true, 2, "", "", "Bar"},
        {"", "", "", 0, true, 1, "", "", ""},
        {"", "", "", 0, false, 0, "", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.procText);
        TAddressNames item;
        SplitDebugSourceNames(c.unitText, c.sourceFile, c.procText, c.line, c.module, item);
        EXPECT_EQ(c.kind, item.Kind);
        EXPECT_EQ(c.unit, item.UnitName);
        EXPECT_EQ(c.className, item.ClassName);
        EXPECT_EQ(c.procedure, item.ProcedureName);
    }
}

TEST(ReporterUnits, ListsTheReportersOwnSources)
{
    EXPECT_GE(ReporterUnitCount(), 20u);
    for (size_t i = 1; i < ReporterUnitCount(); ++i)
        EXPECT_LT(ReporterUnitName(i - 1), ReporterUnitName(i)) << "sorted";
    const struct {
        const char* unit;
        bool reporter;
    } cases[] = {{"EDebug.cpp", true}, {"edebugmap.CPP", true}, {"EBase64.cpp", true},
                 {"Program.cpp", false}, {"EDebug", false}, {"", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.unit);
        EXPECT_EQ(c.reporter, IsReporterUnit(c.unit));
    }
}
