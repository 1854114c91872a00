#include "machine/DescriptionMachine.h"

#include <gtest/gtest.h>

namespace {

struct CasRefus
{
    const char* nom;
    const char* texte;
    const char* champ; // the member the refusal names
};

class Refus : public ::testing::TestWithParam<CasRefus>
{
};

TEST_P(Refus, NamesTheMemberAtFault)
{
    const auto lu = DescriptionMachine::lit(QByteArray(GetParam().texte));
    const auto* refus = std::get_if<DescriptionMachine::Refus>(&lu);
    ASSERT_NE(refus, nullptr);
    EXPECT_EQ(refus->champ, QString::fromUtf8(GetParam().champ)) << refus->raison.toStdString();
    EXPECT_FALSE(refus->raison.isEmpty());
}

#define PLC R"({"name":"plc","port":0})"

INSTANTIATE_TEST_SUITE_P(
    Machine, Refus,
    ::testing::Values(
        CasRefus{"NotJson", "{", ""}, CasRefus{"NotAnObject", "[]", ""},
        CasRefus{"UnknownTopMember", R"({"device":[]})", "device"},
        CasRefus{"NoDevices", R"({"clock":"step"})", "devices"},
        CasRefus{"EmptyDevices", R"({"devices":[]})", "devices"},
        CasRefus{"DeviceNotObject", R"({"devices":[)" PLC R"(,3]})", "devices[1]"},
        CasRefus{"BadClock", R"({"clock":"fast","devices":[)" PLC "]}", "clock"},
        CasRefus{"BadSeed", R"({"seed":-1,"devices":[)" PLC "]}", "seed"},
        CasRefus{"BadControl", R"({"control":70000,"devices":[)" PLC "]}", "control"},
        CasRefus{"JournalNotText", R"({"journal":3,"devices":[)" PLC "]}", "journal"},
        CasRefus{"ControlBindNotText", R"({"control_bind":true,"devices":[)" PLC "]}",
                 "control_bind"},
        CasRefus{"NoName", R"({"devices":[{"port":0}]})", "devices[0].name"},
        CasRefus{"NameWithSlash", R"({"devices":[{"name":"a/b"}]})", "devices[0].name"},
        CasRefus{"NameWithBlank", R"({"devices":[{"name":"a b"}]})", "devices[0].name"},
        CasRefus{"DuplicateName", R"({"devices":[)" PLC "," PLC "]}", "devices[1].name"},
        CasRefus{"CountMakesDuplicate", R"({"devices":[{"name":"p-2"},{"name":"p","count":3}]})",
                 "devices[1].name"},
        CasRefus{"UnknownDeviceMember", R"({"devices":[{"name":"a","speed":1}]})",
                 "devices[0].speed"},
        CasRefus{"UnknownMode", R"({"devices":[{"name":"a","mode":"modeX"}]})", "devices[0].mode"},
        CasRefus{"PortTooHigh",
                 R"({"devices":[)" PLC R"(,)" PLC R"(,)" PLC R"(,{"name":"d","port":65536}]})",
                 "devices[1].name"},
        CasRefus{
            "PortOfFourth",
            R"({"devices":[{"name":"a"},{"name":"b"},{"name":"c"},{"name":"d","port":65536}]})",
            "devices[3].port"},
        CasRefus{"PortNotWhole", R"({"devices":[{"name":"a","port":1.5}]})", "devices[0].port"},
        CasRefus{"PortsRunPast65535", R"({"devices":[{"name":"a","port":65535,"count":2}]})",
                 "devices[0].port"},
        CasRefus{"CountZero", R"({"devices":[{"name":"a","count":0}]})", "devices[0].count"},
        CasRefus{"CountTooMany", R"({"devices":[{"name":"a","count":10001}]})", "devices[0].count"},
        CasRefus{"BadFraming", R"({"devices":[{"name":"a","framing":"LF"}]})",
                 "devices[0].framing"},
        CasRefus{"StateNotObject", R"({"devices":[{"name":"a","state":[]}]})", "devices[0].state"},
        CasRefus{"FaultsNotList", R"({"devices":[{"name":"a","faults":{}}]})", "devices[0].faults"},
        CasRefus{
            "BadFaultRule",
            R"({"devices":[{"name":"a","faults":[{"match":{"command":"V"},"action":{"type":"nope"}}]}]})",
            "devices[0].faults[0].action.type"},
        CasRefus{"BadHoming", R"({"devices":[{"name":"a","auto_homing":{"delay":1}}]})",
                 "devices[0].auto_homing.delay"},
        CasRefus{"BadProxy", R"({"devices":[{"name":"a","proxy":"nohost"}]})", "devices[0].proxy"},
        CasRefus{"ProxyAndPlayback",
                 R"({"devices":[{"name":"a","proxy":"h:1","playback":"j.jsonl"}]})",
                 "devices[0].playback"},
        CasRefus{"BadFallback",
                 R"({"devices":[{"name":"a","playback":"j","playback_fallback":"X"}]})",
                 "devices[0].playback_fallback"},
        CasRefus{"FallbackAlone", R"({"devices":[{"name":"a","playback_fallback":"SIM"}]})",
                 "devices[0].playback_fallback"}),
    [](const auto& cas) { return std::string(cas.param.nom); });

TEST(Machine, CountMakesNamedDevicesOnConsecutivePorts)
{
    const auto lu = DescriptionMachine::lit(QByteArray(
        R"({"clock":"step","seed":7,"control":0,"journal_max":8192,"devices":[
            {"name":"laser","mode":"moduleLASERS","framing":"CR"},
            {"name":"plc","port":20000,"count":3},{"name":"free","count":2}]})"));
    const auto* machine = std::get_if<DescriptionMachine>(&lu);
    ASSERT_NE(machine, nullptr) << std::get<DescriptionMachine::Refus>(lu).champ.toStdString();
    EXPECT_EQ(machine->horloge, QStringLiteral("step"));
    EXPECT_EQ(machine->graine, 7U);
    EXPECT_EQ(machine->portControle, QStringLiteral("0"));
    EXPECT_EQ(machine->tailleJournal, QStringLiteral("8192"));
    ASSERT_EQ(machine->appareils.size(), 6U);
    const auto& a = machine->appareils;
    EXPECT_EQ(a[0].nom, QStringLiteral("laser"));
    EXPECT_EQ(a[0].mode, QStringLiteral("moduleLASERS"));
    EXPECT_EQ(a[0].tramesParCR, true);
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(a[1 + k].nom, QStringLiteral("plc-%1").arg(k + 1));
        EXPECT_EQ(a[1 + k].port, 20000 + k);
        EXPECT_EQ(a[1 + k].mode, QStringLiteral("automateOMRON"));
        EXPECT_EQ(a[1 + k].index, 1);
    }
    EXPECT_EQ(a[4].nom, QStringLiteral("free-1"));
    EXPECT_EQ(a[4].port, 0);
    EXPECT_EQ(a[5].port, 0);
}

} // namespace
