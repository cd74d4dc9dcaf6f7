// The simulator's pure parts: record text, tank, commands, misbehaviour, options.

#include "SimCore.h"
#include "RecordCheck.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

using namespace tarlo::sim;
using simtest::framesIn;
using simtest::recordForm;

namespace {

Settings withKh(int kh)
{
    Settings s = factorySettings();
    s.kh = kh;
    return s;
}

TEST(SimRecord, PhForm)
{
    const struct {
        int hundredths;
        const char* text;
    } cases[] = {{705, "7,05"},  {690, "6,90"},  {0, "0,00"},  {999, "9,99"},
                 {1000, "9,99"}, {1234, "9,99"}, {-5, "0,00"}, {410, "4,10"}};
    for (const auto& c : cases)
        EXPECT_EQ(formatPh(c.hundredths), c.text) << c.hundredths;
}

TEST(SimRecord, PpmForm)
{
    const struct {
        double ppm;
        const char* text;
    } cases[] = {
        {0.0, "0"},
        {0.04, "0"},
        {0.05, "0,1"},
        {5.5, "5,5"},
        {5.46, "5,5"},
        {9.96, "10,0"},
        {12.34, "12,3"},
        {99.94, "99,9"},
        {99.95, "100"},
        {100.0, "100"},
        {650.0, "100"},
        {-1.0, "0"},
        {std::numeric_limits<double>::quiet_NaN(), "0"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(formatPpm(c.ppm), c.text) << c.ppm;
}

TEST(SimRecord, Co2FollowsKhAndPh)
{
    const struct {
        int kh;
        double ph;
        double ppm;
    } cases[] = {{5, 7.0, 15.0}, {5, 6.0, 150.0}, {0, 6.0, 0.0}, {10, 7.5, 9.486833}, {12, 8.0, 3.6}};
    for (const auto& c : cases)
        EXPECT_NEAR(co2Ppm(c.kh, c.ph), c.ppm, 1e-5) << c.kh << " " << c.ph;
}

TEST(SimRecord, LinesOfOneRecord)
{
    Settings s{680, 740, 20, 5, 100, 14};
    const struct {
        Settings s;
        Reading r;
        std::vector<std::string> lines;
    } cases[] = {
        {s, {705, true, false}, {"-", "7,05", "6,80", "7,40", "13,4", "5", "20", "1", "0", "100", "14", " "}},
        {factorySettings(),
         {712, false, true},
         {"-", "7,12", "6,90", "7,10", "0", "0", "20", "0", "1", "100", "14", " "}},
        {Settings{400, 880, 250, 20, 0, 0},
         {600, true, true},
         {"-", "6,00", "4,00", "8,80", "100", "20", "250", "1", "1", "0", "0", " "}},
        {withKh(3),
         {790, false, false},
         {"-", "7,90", "6,90", "7,10", "1,1", "3", "20", "0", "0", "100", "14", " "}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(recordLines(c.s, c.r), c.lines);

    EXPECT_EQ(joinLines({"-", "7,05", " "}), "-\r\n7,05\r\n \r\n");
}

// Whatever the tank and settings, every record has a form the program takes.
TEST(SimRecord, EveryRecordHasTheAcceptedForm)
{
    const Settings settings[] = {factorySettings(), withKh(20), Settings{400, 880, 250, 0, 0, 25},
                                 Settings{870, 410, 0, 13, 55, 7}};
    for (const Settings& s : settings)
        for (int ph = 0; ph <= 999; ph += 7)
            for (bool out : {false, true}) {
                const std::string stream = joinLines(recordLines(s, {ph, out, !out})) + "-\r\n";
                const auto frames = framesIn(stream);
                ASSERT_EQ(frames.size(), 1u);
                EXPECT_EQ(recordForm(frames[0]), "") << ph;
            }
}

// The checker the stream tests rely on must itself tell good lines from bad.
TEST(SimRecord, LineChecks)
{
    const struct {
        const char* line;
        bool ph, ppm;
    } cases[] = {
        {"7,05", true, false}, {"7.05", false, false}, {"7,5", false, true},    {"17,05", false, false},
        {"0", false, true},    {"100", false, true},   {"12,3", false, true},   {"5,55", true, false},
        {",5", false, false},  {"5,", false, false},   {"100,0", false, false}, {"101", false, false},
        {"", false, false},    {"a,bc", false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(simtest::isPhLine(c.line), c.ph) << c.line;
        EXPECT_EQ(simtest::isPpmLine(c.line), c.ppm) << c.line;
    }
}

TEST(SimTank, Co2OutputKeepsPhInRange)
{
    const Settings ranges[] = {factorySettings(), Settings{650, 700, 20, 5, 100, 14},
                               Settings{720, 760, 20, 5, 100, 14}};
    for (const Settings& s : ranges) {
        Tank tank(7.30);
        int opened = 0, closed = 0;
        for (int i = 0; i < 3000; ++i) {
            const double before = tank.ph();
            const bool flowing = tank.co2();
            tank.step(s);
            // The pH moves by the output as it was during the step.
            if (flowing)
                EXPECT_LT(tank.ph(), before);
            else
                EXPECT_GT(tank.ph(), before);
            const double shown = tank.reading().ph / 100.0;
            if (tank.co2() && !flowing) {
                ++opened;
                EXPECT_GT(shown, s.phMax / 100.0);
            }
            if (!tank.co2() && flowing) {
                ++closed;
                EXPECT_LT(shown, s.phMin / 100.0);
            }
            if (i > 300) { // once settled, within the range give or take one step
                EXPECT_GE(tank.ph(), s.phMin / 100.0 - 0.05) << i;
                EXPECT_LE(tank.ph(), s.phMax / 100.0 + 0.05) << i;
            }
        }
        EXPECT_GT(opened, 5) << "the CO2 output never cycled for PHmin " << s.phMin;
        EXPECT_GT(closed, 5);
    }
}

TEST(SimTank, O2OutputRunsBelowLowAlarmLimit)
{
    // PHmin 6,90 with threshold 0,20: the low alarm limit is 6,70.
    const struct {
        double startPh;
        bool o2AfterFirstStep;
    } cases[] = {{6.40, true}, {6.60, true}, {6.80, false}, {7.00, false}};
    for (const auto& c : cases) {
        Tank tank(c.startPh);
        tank.step(factorySettings());
        EXPECT_EQ(tank.o2(), c.o2AfterFirstStep) << c.startPh;
    }

    // Once on, it stays on until the pH is back at PHmin, not just at the limit.
    Tank tank(6.40);
    tank.step(factorySettings());
    ASSERT_TRUE(tank.o2());
    while (tank.reading().ph < 690) {
        EXPECT_TRUE(tank.o2()) << tank.ph();
        tank.step(factorySettings());
    }
    EXPECT_FALSE(tank.o2());
}

TEST(SimTank, RestartSwitchesOutputsOff)
{
    Tank tank(6.40);
    Settings s = factorySettings();
    s.phMax = 600; // above PHmax at once: CO2 opens
    tank.step(s);
    ASSERT_TRUE(tank.co2());
    ASSERT_TRUE(tank.o2());
    tank.resetOutputs();
    EXPECT_FALSE(tank.co2());
    EXPECT_FALSE(tank.o2());
    EXPECT_FALSE(tank.reading().co2);
}

TEST(SimCommand, SettingsFrames)
{
    const struct {
        const char* frame;
        bool ok;
        Settings settings;
    } cases[] = {
        {"10001400701000609002000000000011", true, factorySettings()},
        {"10001400701000609002000500000011", true, withKh(5)},
        {"05002000601500600501001200000011", true, Settings{605, 615, 10, 12, 50, 20}},
        {"00000000808000400025002000000011", true, Settings{400, 880, 250, 20, 0, 0}},
        {"10101400701000609002000000000011", false, {}},  // brightness 101
        {"10002600701000609002000000000011", false, {}},  // contrast 26
        {"10001400901000609002000000000011", false, {}},  // PHmax 9,10
        {"10001400400500609002000000000011", false, {}},  // PHmax 4,05
        {"10001400710000609002000000000011", false, {}},  // hundredths 100
        {"10001400701000309002000000000011", false, {}},  // PHmin 3,90
        {"10001400701000609025100000000011", false, {}},  // alarm 251
        {"10001400701000609002002100000011", false, {}},  // KH 21
        {"10001400701000609002000000100011", false, {}},  // reserved field not 000
        {"10001400701000609002000000000012", false, {}},  // marker not 11
        {"1000140070100060900200000000001", false, {}},   // 31 characters
        {"100014007010006090020000000000111", false, {}}, // 33 characters
        {"1000140070100060900200000000A011", false, {}},
        {"22222222222222222222222222222222", false, {}},
    };
    for (const auto& c : cases) {
        std::string why;
        const auto s = parseSettingsFrame(c.frame, &why);
        EXPECT_EQ(s.has_value(), c.ok) << c.frame;
        if (s && c.ok) {
            EXPECT_EQ(*s, c.settings) << c.frame;
            EXPECT_EQ(encodeSettingsFrame(*s), c.frame);
        }
        if (!c.ok) {
            EXPECT_FALSE(why.empty()) << c.frame;
        }
    }
}

TEST(SimCommand, BlockKinds)
{
    using K = Command::Kind;
    const struct {
        std::string block;
        K kind;
    } cases[] = {
        {std::string(32, '2'), K::Factory},
        {std::string(32, '3'), K::Restart},
        {"10001400701000609002000000000011", K::Settings},
        {std::string(32, '1'), K::Unknown},
        {std::string(31, '2') + "3", K::Unknown},
        {std::string(32, '0'), K::Unknown},
    };
    for (const auto& c : cases)
        EXPECT_EQ(classifyBlock(c.block).kind, c.kind) << c.block;
}

struct Seen {
    Command::Kind kind;
    std::string text;
    bool operator==(const Seen&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Seen& s)
{
    static const char* names[] = {"Settings", "Factory", "Restart", "Unknown", "Garbage"};
    return os << names[static_cast<int>(s.kind)] << "(" << s.text << ")";
}

TEST(SimCommand, ReaderCutsAndResynchronises)
{
    using K = Command::Kind;
    const std::string frame = "10001400701000609002000500000011";
    const std::string factory(32, '2'), restart(32, '3');
    const std::string unknown = "01234567890123456789012345678901";
    const struct {
        const char* name;
        std::vector<std::string> chunks; // fed one after the other
        std::vector<Seen> expected;      // from all feeds and a final flushIdle
    } cases[] = {
        {"whole frame", {frame}, {{K::Settings, frame}}},
        {"frame in eleven writes",
         {"100", "014", "007", "010", "006", "090", "020", "005", "000", "000", "11"},
         {{K::Settings, frame}}},
        {"byte by byte",
         [&] {
             std::vector<std::string> v;
             for (char c : restart)
                 v.emplace_back(1, c);
             return v;
         }(),
         {{K::Restart, restart}}},
        {"three back to back",
         {frame + factory + restart},
         {{K::Settings, frame}, {K::Factory, factory}, {K::Restart, restart}}},
        {"text before", {"xy", frame}, {{K::Garbage, "xy"}, {K::Settings, frame}}},
        {"line end after", {frame + "\r\n"}, {{K::Settings, frame}, {K::Garbage, "\r\n"}}},
        {"stray digit before", {"5" + frame}, {{K::Garbage, "5"}, {K::Settings, frame}}},
        {"stray digits before factory", {"17" + factory}, {{K::Garbage, "17"}, {K::Factory, factory}}},
        {"unknown block alone", {unknown}, {{K::Unknown, unknown}}},
        {"unknown block then command", {unknown + factory}, {{K::Unknown, unknown}, {K::Factory, factory}}},
        {"partial block", {"100014"}, {{K::Garbage, "100014"}}},
        {"partial block cut by text",
         {"100014", "x", frame},
         {{K::Garbage, "100014x"}, {K::Settings, frame}}},
        {"one digit too many", {std::string(33, '2')}, {{K::Factory, factory}, {K::Garbage, "2"}}},
        {"high bytes", {"\xF0\x81\xFF"}, {{K::Garbage, "\xF0\x81\xFF"}}},
    };
    for (const auto& c : cases) {
        CommandReader reader;
        std::vector<Seen> seen;
        for (const auto& chunk : c.chunks)
            for (const Command& cmd : reader.feed(chunk))
                seen.push_back({cmd.kind, cmd.text});
        for (const Command& cmd : reader.flushIdle())
            seen.push_back({cmd.kind, cmd.text});
        EXPECT_EQ(seen, c.expected) << c.name;
        EXPECT_EQ(reader.pending(), 0u) << c.name;
    }
}

TEST(SimCommand, ReaderTakesCommandsWithoutWaitingForIdle)
{
    // A valid command is acted on as soon as its last byte is in.
    CommandReader reader;
    EXPECT_TRUE(reader.feed("1000140070100060900200050000001").empty());
    const auto cmds = reader.feed("1");
    ASSERT_EQ(cmds.size(), 1u);
    EXPECT_EQ(cmds[0].kind, Command::Kind::Settings);
    EXPECT_EQ(cmds[0].settings.kh, 5);
    EXPECT_EQ(reader.pending(), 0u);
}

// The program's validation of a frame: the twelve lines after the first "-".
bool programAccepts(const std::vector<std::string>& f)
{
    return f.size() == 12 && f[0].size() == 4 && f[1].size() == 4 && f[2].size() == 4 && f[6].size() == 1 &&
           f[7].size() == 1 && f[0][1] == ',' && f[1][1] == ',' && f[2][1] == ',' && f[10] == " " &&
           f[11] == "-";
}

TEST(SimMisbehaviour, BrokenRecordsAreRejectedByTheProgram)
{
    const auto good = recordLines(withKh(5), {705, true, false});
    {
        const auto frames = framesIn(joinLines(good) + joinLines(good));
        ASSERT_FALSE(frames.empty());
        EXPECT_TRUE(programAccepts(frames[0]));
    }
    for (unsigned v = 0; v < kBrokenVariants; ++v) {
        const auto broken = brokenRecord(good, v);
        EXPECT_NE(broken, good) << v;
        // The program takes the twelve lines after the first "-" of its buffer.
        const auto frames = framesIn(joinLines(broken) + joinLines(good));
        ASSERT_FALSE(frames.empty()) << v;
        EXPECT_FALSE(programAccepts(frames[0])) << "variant " << v;
        EXPECT_NE(recordForm(frames[0]), "") << v;
    }
}

TEST(SimMisbehaviour, NoiseNulsAndWrongSpeedBytes)
{
    std::mt19937 rng(7);
    const std::string record = joinLines(recordLines(withKh(5), {705, true, false}));
    for (int i = 0; i < 200; ++i) {
        const std::string noise = noiseBurst(rng);
        EXPECT_GE(noise.size(), 1u);
        EXPECT_LE(noise.size(), 40u);
        EXPECT_TRUE(std::all_of(noise.begin(), noise.end(), [](char c) { return c > 0x20 && c < 0x7f; }));

        std::string nuls = withNuls(record, rng);
        const auto count = std::count(nuls.begin(), nuls.end(), '\0');
        EXPECT_GE(count, 1);
        EXPECT_LE(count, 4);
        nuls.erase(std::remove(nuls.begin(), nuls.end(), '\0'), nuls.end());
        EXPECT_EQ(nuls, record);

        const std::string wrong = wrongSpeedBytes(rng);
        EXPECT_GE(wrong.size(), 20u);
        EXPECT_TRUE(std::all_of(wrong.begin(), wrong.end(),
                                [](char c) { return static_cast<unsigned char>(c) >= 0x80; }));
    }
}

TEST(SimOptions, Accepted)
{
    std::string err;
    auto o = parseOptions({}, err);
    ASSERT_TRUE(o);
    EXPECT_EQ(o->intervalMs, 1000);
    EXPECT_EQ(o->kh, 5);
    EXPECT_EQ(o->brokenEvery, 0);
    EXPECT_LT(o->count, 0);

    o = parseOptions({"--interval",
                      "20",
                      "--kh=0",
                      "--link",
                      "/tmp/x",
                      "--command-log",
                      "/tmp/l",
                      "--noise",
                      "--nul",
                      "--broken",
                      "--wrong-speed",
                      "--count",
                      "3",
                      "--seed",
                      "42",
                      "--hangup-after",
                      "1.5",
                      "--unplug-after",
                      "0.5",
                      "--replug-after=0.25",
                      "--ph",
                      "6.5"},
                     err);
    ASSERT_TRUE(o) << err;
    EXPECT_EQ(o->intervalMs, 20);
    EXPECT_EQ(o->kh, 0);
    EXPECT_EQ(o->link, "/tmp/x");
    EXPECT_EQ(o->commandLog, "/tmp/l");
    EXPECT_TRUE(o->noise && o->nul && o->wrongSpeed);
    EXPECT_EQ(o->brokenEvery, 3);
    EXPECT_EQ(o->count, 3);
    EXPECT_EQ(o->seed, 42u);
    EXPECT_TRUE(o->seedGiven);
    EXPECT_DOUBLE_EQ(o->hangupAfter, 1.5);
    EXPECT_DOUBLE_EQ(o->unplugAfter, 0.5);
    EXPECT_DOUBLE_EQ(o->replugAfter, 0.25);
    EXPECT_DOUBLE_EQ(o->startPh, 6.5);

    const struct {
        std::vector<std::string> args;
        int brokenEvery;
    } broken[] = {{{"--broken", "5"}, 5}, {{"--broken=2"}, 2}, {{"--broken", "--noise"}, 3}};
    for (const auto& b : broken) {
        o = parseOptions(b.args, err);
        ASSERT_TRUE(o) << err;
        EXPECT_EQ(o->brokenEvery, b.brokenEvery);
    }
    o = parseOptions({"--help"}, err);
    ASSERT_TRUE(o);
    EXPECT_TRUE(o->help);
    o = parseOptions({"--version"}, err);
    ASSERT_TRUE(o);
    EXPECT_TRUE(o->version);
}

TEST(SimOptions, Refused)
{
    const std::vector<std::vector<std::string>> cases = {
        {"--interval", "19"},
        {"--interval", "abc"},
        {"--interval"},
        {"--interval", "10x"},
        {"--kh", "21"},
        {"--kh", "-1"},
        {"--count", "-2"},
        {"--broken", "0"},
        {"--broken=x"},
        {"--seed", "-1"},
        {"--hangup-after", "-1"},
        {"--hangup-after", "x"},
        {"--unplug-after", "1"},
        {"--link", "/tmp/x", "--replug-after", "1"},
        {"--noise=1"},
        {"--ph", "10"},
        {"--link", ""},
        {"--bogus"},
        {"interval"},
    };
    for (const auto& args : cases) {
        std::string err;
        EXPECT_FALSE(parseOptions(args, err)) << args[0];
        EXPECT_FALSE(err.empty()) << args[0];
    }
}

TEST(SimOptions, UsageNamesEveryOption)
{
    const std::string usage = usageText();
    for (const char* opt : {"--interval", "--kh", "--link", "--command-log", "--count", "--seed", "--noise",
                            "--nul", "--broken", "--wrong-speed", "--hangup-after", "--unplug-after",
                            "--replug-after", "--version", "--help"})
        EXPECT_NE(usage.find(opt), std::string::npos) << opt;
}

} // namespace
