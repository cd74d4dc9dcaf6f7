#include "SimCore.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace tarlo::sim {

Settings factorySettings() { return Settings{690, 710, 20, 0, 100, 14}; }

std::string formatPh(int hundredths)
{
    hundredths = std::clamp(hundredths, 0, 999);
    std::string s;
    s += char('0' + hundredths / 100);
    s += ',';
    s += char('0' + hundredths / 10 % 10);
    s += char('0' + hundredths % 10);
    return s;
}

double co2Ppm(int kh, double ph) { return 3.0 * kh * std::pow(10.0, 7.0 - ph); }

std::string formatPpm(double ppm)
{
    if (!(ppm >= 0.0)) // negative or NaN
        return "0";
    const long tenths = std::lround(ppm * 10.0);
    if (tenths == 0)
        return "0";
    if (tenths >= 1000)
        return "100";
    return std::to_string(tenths / 10) + "," + std::to_string(tenths % 10);
}

std::vector<std::string> recordLines(const Settings& s, const Reading& r)
{
    return {
        "-",
        formatPh(r.ph),
        formatPh(s.phMin),
        formatPh(s.phMax),
        formatPpm(co2Ppm(s.kh, r.ph / 100.0)),
        std::to_string(s.kh),
        std::to_string(s.alarm),
        r.o2 ? "1" : "0",
        r.co2 ? "1" : "0",
        std::to_string(s.brightness),
        std::to_string(s.contrast),
        " ",
    };
}

std::string joinLines(const std::vector<std::string>& lines)
{
    std::string out;
    for (const auto& l : lines) {
        out += l;
        out += "\r\n";
    }
    return out;
}

// ---- tank ----

void Tank::step(const Settings& s, double jitter)
{
    const double target = co2_ ? kCo2Ph : kRestPh;
    const double rate = co2_ ? kFallRate : kRiseRate;
    ph_ += (target - ph_) * rate + jitter;
    ph_ = std::clamp(ph_, 0.0, 9.99);

    const double shown = std::lround(ph_ * 100.0) / 100.0;
    if (shown > s.phMax / 100.0)
        co2_ = true;
    else if (shown < s.phMin / 100.0)
        co2_ = false;

    if (shown < (s.phMin - s.alarm) / 100.0)
        o2_ = true;
    else if (shown >= s.phMin / 100.0)
        o2_ = false;
}

Reading Tank::reading() const { return Reading{static_cast<int>(std::lround(ph_ * 100.0)), o2_, co2_}; }

// ---- commands ----

namespace {

struct FieldRange {
    int min;
    int max;
    const char* name;
};

// The ten three-digit fields of a settings frame, in order.
constexpr std::array<FieldRange, 10> kFields{{
    {0, 100, "brightness"},
    {0, 25, "contrast"},
    {4, 8, "PHmax units"},
    {0, 99, "PHmax hundredths"},
    {4, 8, "PHmin units"},
    {0, 99, "PHmin hundredths"},
    {0, 250, "alarm"},
    {0, 20, "KH"},
    {0, 0, "reserved"},
    {0, 0, "reserved"},
}};

bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool allOf(std::string_view s, char c)
{
    return std::all_of(s.begin(), s.end(), [c](char x) { return x == c; });
}

// Whether `prefix` (shorter than a command) can still grow into one.
bool couldStartCommand(std::string_view prefix)
{
    if (allOf(prefix, '2') || allOf(prefix, '3'))
        return true;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (!isDigit(prefix[i]))
            return false;
        if (i >= 30) {
            if (prefix[i] != '1')
                return false;
            continue;
        }
        if (i % 3 != 2 && i + 1 < prefix.size())
            continue; // checked with its field's last digit or below
        const std::size_t start = i - i % 3;
        const std::string_view digits = prefix.substr(start, i - start + 1);
        int lo = 0, hi = 0;
        for (std::size_t k = 0; k < 3; ++k) {
            const int d = k < digits.size() ? digits[k] - '0' : -1;
            lo = lo * 10 + (d < 0 ? 0 : d);
            hi = hi * 10 + (d < 0 ? 9 : d);
        }
        const FieldRange& f = kFields[start / 3];
        if (hi < f.min || lo > f.max)
            return false;
    }
    return true;
}

Command garbage(std::string text, std::string reason)
{
    return Command{Command::Kind::Garbage, std::move(text), {}, std::move(reason)};
}

} // namespace

std::optional<Settings> parseSettingsFrame(std::string_view frame, std::string* why)
{
    auto fail = [why](std::string reason) -> std::optional<Settings> {
        if (why)
            *why = std::move(reason);
        return std::nullopt;
    };
    if (frame.size() != CommandReader::kLength)
        return fail("length " + std::to_string(frame.size()) + ", not 32");
    if (!std::all_of(frame.begin(), frame.end(), isDigit))
        return fail("not all digits");
    if (frame.substr(30) != "11")
        return fail("does not end in 11");
    std::array<int, 10> v{};
    for (std::size_t i = 0; i < kFields.size(); ++i) {
        v[i] = (frame[3 * i] - '0') * 100 + (frame[3 * i + 1] - '0') * 10 + (frame[3 * i + 2] - '0');
        if (v[i] < kFields[i].min || v[i] > kFields[i].max)
            return fail(std::string(kFields[i].name) + " " + std::to_string(v[i]) + " out of range");
    }
    Settings s;
    s.brightness = v[0];
    s.contrast = v[1];
    s.phMax = v[2] * 100 + v[3];
    s.phMin = v[4] * 100 + v[5];
    s.alarm = v[6];
    s.kh = v[7];
    if (s.phMax < 410 || s.phMax > 880)
        return fail("PHmax out of range");
    if (s.phMin < 400 || s.phMin > 870)
        return fail("PHmin out of range");
    return s;
}

std::string encodeSettingsFrame(const Settings& s)
{
    const int values[10] = {s.brightness,
                            s.contrast,
                            s.phMax / 100,
                            s.phMax % 100,
                            s.phMin / 100,
                            s.phMin % 100,
                            s.alarm,
                            s.kh,
                            0,
                            0};
    std::string out;
    for (int v : values) {
        const std::string d = std::to_string(std::clamp(v, 0, 999));
        out += std::string(3 - d.size(), '0') + d;
    }
    return out + "11";
}

Command classifyBlock(std::string_view block)
{
    Command c{Command::Kind::Unknown, std::string(block), {}, {}};
    if (block.size() == CommandReader::kLength && allOf(block, '2')) {
        c.kind = Command::Kind::Factory;
    } else if (block.size() == CommandReader::kLength && allOf(block, '3')) {
        c.kind = Command::Kind::Restart;
    } else if (auto s = parseSettingsFrame(block, &c.reason)) {
        c.kind = Command::Kind::Settings;
        c.settings = *s;
        c.reason.clear();
    }
    return c;
}

void CommandReader::drain(std::vector<Command>& out, bool final)
{
    while (buf_.size() >= kLength) {
        Command first = classifyBlock(std::string_view(buf_).substr(0, kLength));
        if (first.kind != Command::Kind::Unknown) {
            out.push_back(std::move(first));
            buf_.erase(0, kLength);
            continue;
        }
        // Not a command at this position: maybe one starts a little later
        // (stray bytes in front of it).
        std::size_t found = 0;
        bool mayStillStart = false;
        for (std::size_t k = 1; k < kLength; ++k) {
            const std::string_view rest = std::string_view(buf_).substr(k);
            if (rest.size() >= kLength) {
                if (classifyBlock(rest.substr(0, kLength)).kind != Command::Kind::Unknown) {
                    found = k;
                    break;
                }
            } else {
                mayStillStart = couldStartCommand(rest);
                if (mayStillStart)
                    break;
            }
        }
        if (found > 0) {
            out.push_back(garbage(buf_.substr(0, found), "stray bytes before a command"));
            buf_.erase(0, found);
            continue;
        }
        if (mayStillStart && !final)
            return; // wait for more bytes before deciding
        out.push_back(std::move(first));
        buf_.erase(0, kLength);
    }
}

std::vector<Command> CommandReader::feed(std::string_view bytes)
{
    std::vector<Command> out;
    std::string junk;
    for (char c : bytes) {
        if (isDigit(c)) {
            if (!junk.empty()) {
                out.push_back(garbage(std::move(junk), "not a command"));
                junk.clear();
            }
            buf_ += c;
            drain(out, false);
        } else {
            if (!buf_.empty()) {
                drain(out, true);
                junk = std::move(buf_);
                buf_.clear();
            }
            junk += c;
        }
    }
    if (!junk.empty())
        out.push_back(garbage(std::move(junk), "not a command"));
    return out;
}

std::vector<Command> CommandReader::flushIdle()
{
    std::vector<Command> out;
    drain(out, true);
    if (!buf_.empty()) {
        out.push_back(garbage(std::move(buf_), "incomplete command"));
        buf_.clear();
    }
    return out;
}

// ---- misbehaviour ----

std::string noiseBurst(std::mt19937& rng)
{
    std::uniform_int_distribution<int> len(1, 40), ch(0x21, 0x7e);
    std::string s(static_cast<std::size_t>(len(rng)), ' ');
    for (char& c : s)
        c = static_cast<char>(ch(rng));
    return s;
}

std::string withNuls(std::string record, std::mt19937& rng)
{
    std::uniform_int_distribution<int> n(1, 4);
    for (int i = n(rng); i > 0; --i) {
        std::uniform_int_distribution<std::size_t> pos(0, record.size());
        record.insert(pos(rng), 1, '\0');
    }
    return record;
}

std::vector<std::string> brokenRecord(std::vector<std::string> lines, unsigned variant)
{
    // lines: "-", pH, PHmin, PHmax, PPM, KH, alarm, O2, CO2, brightness, contrast, " "
    switch (variant % kBrokenVariants) {
    case 0:
        lines.erase(lines.begin() + 5);
        break; // KH missing
    case 1:
        lines.insert(lines.begin() + 4, "7");
        break; // one line too many
    case 2:
        lines[1][1] = '.';
        break; // "7.05"
    case 3:
        lines[1] += "0";
        break; // "7,050"
    case 4:
        lines[11] = "  ";
        break; // end line of two spaces
    case 5:
        lines[7] = "10";
        break; // two-character output line
    }
    return lines;
}

std::string wrongSpeedBytes(std::mt19937& rng)
{
    std::uniform_int_distribution<int> len(20, 60), ch(0x80, 0xff);
    std::string s(static_cast<std::size_t>(len(rng)), ' ');
    for (char& c : s)
        c = static_cast<char>(ch(rng));
    return s;
}

// ---- options ----

namespace {

template <typename T>
bool parseInt(const std::string& s, T& out)
{
    const char* end = s.data() + s.size();
    auto [p, ec] = std::from_chars(s.data(), end, out);
    return ec == std::errc() && p == end && !s.empty();
}

bool parseSeconds(const std::string& s, double& out)
{
    if (s.empty())
        return false;
    char* end = nullptr;
    out = std::strtod(s.c_str(), &end);
    return end == s.c_str() + s.size() && std::isfinite(out) && out >= 0.0;
}

} // namespace

std::optional<Options> parseOptions(const std::vector<std::string>& args, std::string& error)
{
    Options o;
    bool replugGiven = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::optional<std::string> inlineValue;
        if (auto eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            inlineValue = name.substr(eq + 1);
            name.resize(eq);
        }
        auto value = [&](std::string& v) {
            if (inlineValue) {
                v = *inlineValue;
                return true;
            }
            if (i + 1 >= args.size()) {
                error = name + " needs a value";
                return false;
            }
            v = args[++i];
            return true;
        };
        auto bad = [&](const std::string& v, const std::string& what) {
            error = name + ": '" + v + "' is not " + what;
            return std::nullopt;
        };
        auto flag = [&](bool& f) {
            if (inlineValue) {
                error = name + " takes no value";
                return false;
            }
            f = true;
            return true;
        };
        std::string v;
        if (name == "--help" || name == "-h") {
            o.help = true;
        } else if (name == "--version") {
            o.version = true;
        } else if (name == "--interval") {
            if (!value(v))
                return std::nullopt;
            if (!parseInt(v, o.intervalMs) || o.intervalMs < 20 || o.intervalMs > 600000)
                return bad(v, "a number of milliseconds from 20 to 600000");
        } else if (name == "--kh") {
            if (!value(v))
                return std::nullopt;
            if (!parseInt(v, o.kh) || o.kh < 0 || o.kh > 20)
                return bad(v, "a KH from 0 to 20");
        } else if (name == "--ph") {
            if (!value(v))
                return std::nullopt;
            if (!parseSeconds(v, o.startPh) || o.startPh > 9.99)
                return bad(v, "a pH from 0 to 9.99");
        } else if (name == "--link") {
            if (!value(v))
                return std::nullopt;
            if (v.empty())
                return bad(v, "a path");
            o.link = v;
        } else if (name == "--command-log") {
            if (!value(v))
                return std::nullopt;
            if (v.empty())
                return bad(v, "a path");
            o.commandLog = v;
        } else if (name == "--noise") {
            if (!flag(o.noise))
                return std::nullopt;
        } else if (name == "--nul") {
            if (!flag(o.nul))
                return std::nullopt;
        } else if (name == "--wrong-speed") {
            if (!flag(o.wrongSpeed))
                return std::nullopt;
        } else if (name == "--broken") {
            // The count is optional: "--broken", "--broken 4", "--broken=4".
            o.brokenEvery = 3;
            if (inlineValue) {
                v = *inlineValue;
            } else if (i + 1 < args.size() && !args[i + 1].empty() && isDigit(args[i + 1][0])) {
                v = args[++i];
            }
            if (!v.empty() && (!parseInt(v, o.brokenEvery) || o.brokenEvery < 1))
                return bad(v, "a record count of at least 1");
        } else if (name == "--hangup-after") {
            if (!value(v))
                return std::nullopt;
            if (!parseSeconds(v, o.hangupAfter))
                return bad(v, "a number of seconds");
        } else if (name == "--unplug-after") {
            if (!value(v))
                return std::nullopt;
            if (!parseSeconds(v, o.unplugAfter))
                return bad(v, "a number of seconds");
        } else if (name == "--replug-after") {
            if (!value(v))
                return std::nullopt;
            if (!parseSeconds(v, o.replugAfter))
                return bad(v, "a number of seconds");
            replugGiven = true;
        } else if (name == "--count") {
            if (!value(v))
                return std::nullopt;
            if (!parseInt(v, o.count) || o.count < 0)
                return bad(v, "a record count");
        } else if (name == "--seed") {
            if (!value(v))
                return std::nullopt;
            if (!parseInt(v, o.seed))
                return bad(v, "a seed from 0 to 4294967295");
            o.seedGiven = true;
        } else {
            error = "unknown option " + args[i];
            return std::nullopt;
        }
    }
    if (o.unplugAfter >= 0 && o.link.empty()) {
        error = "--unplug-after needs --link (the link is how the device is found again)";
        return std::nullopt;
    }
    if (replugGiven && o.unplugAfter < 0) {
        error = "--replug-after needs --unplug-after";
        return std::nullopt;
    }
    return o;
}

std::string usageText()
{
    return "Usage: tarlo02-sim [options]\n"
           "Stands in for a Tarlo-02 pH controller on a pseudo-terminal. Prints the device\n"
           "path as the first line of its output, then streams records and obeys commands.\n"
           "\n"
           "  --interval MS        time between records, 20 to 600000 (default 1000)\n"
           "  --kh N               KH of the water at start, 0 to 20 (default 5)\n"
           "  --ph X               pH of the tank at start (default 7.30)\n"
           "  --link PATH          make a symlink PATH to the device (replaces a symlink)\n"
           "  --command-log FILE   append every received command to FILE, one a line\n"
           "  --count N            stop after N records\n"
           "  --seed N             seed of the random parts (noise, jitter)\n"
           "Misbehaviour, for tests:\n"
           "  --noise              bursts of random printable bytes between records\n"
           "  --nul                NUL bytes inside records\n"
           "  --broken [N]         every Nth record broken (default 3)\n"
           "  --wrong-speed        high-bit garbage without line ends instead of records\n"
           "  --hangup-after SEC   hang up the line and exit after SEC seconds\n"
           "  --unplug-after SEC   hang up after SEC seconds and remove the link, then\n"
           "  --replug-after SEC   come back SEC seconds later (default 2) as a new device\n"
           "                       behind the same link, printing its path\n"
           "  --version            print the version\n"
           "  --help               this text\n"
           "\n"
           "The tank: the CO2 output opens above PHmax and closes below PHmin; the pH falls\n"
           "while CO2 flows and rises when it stops; PPM = 3 x KH x 10^(7 - pH). The O2\n"
           "output (air pump) runs while the pH is below PHmin minus the alarm threshold.\n"
           "Commands: a 32-digit settings frame, 32 x '2' (factory settings), 32 x '3'\n"
           "(restart: no records for two seconds). Anything else is reported and ignored.\n";
}

} // namespace tarlo::sim
