#pragma once

// The pure parts of the Tarlo-02 simulator: the record text, the tank model,
// the command reader and the option parser. No I/O, no clock: the shell in
// main.cpp feeds them bytes and steps and writes what they return.

#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace tarlo::sim {

// The six settings the controller keeps. pH values and the alarm threshold are
// held in hundredths of a pH unit, so 6,90 is 690 and a threshold of 0,20 is 20.
struct Settings {
    int phMin = 690;
    int phMax = 710;
    int alarm = 20;
    int kh = 0;
    int brightness = 100;
    int contrast = 14;

    bool operator==(const Settings&) const = default;
};

// The controller's factory settings (what 32 × "2" restores).
Settings factorySettings();

// What one record reports besides the settings.
struct Reading {
    int ph = 700; // hundredths, 0..999
    bool o2 = false;
    bool co2 = false;
};

// "7,05": units digit, ",", two digits. Clamped to 0,00 .. 9,99 since the
// record has room for one digit before the comma.
std::string formatPh(int hundredths);

// Dissolved CO2 in PPM: 3 × KH × 10^(7 − pH).
double co2Ppm(int kh, double ph);

// The PPM line: "0" when it rounds to 0,0; "5,5" and "12,3" below 100 (one
// decimal); "100" from 99,95 up (the line has no room for more).
std::string formatPpm(double ppm);

// The twelve lines of one record as the controller sends it: "-", pH, PHmin,
// PHmax, PPM, KH, alarm, O2, CO2, brightness, contrast, " ".
std::vector<std::string> recordLines(const Settings& s, const Reading& r);

// Lines joined, each ended by CR LF.
std::string joinLines(const std::vector<std::string>& lines);

// The tank: pH falls while CO2 flows and drifts back up when it stops. The
// CO2 output opens above PHmax and closes below PHmin. The O2 output (an air
// pump) runs while the pH is below the low alarm limit (PHmin − threshold),
// where the water holds too much CO2, and stops once the pH is back at PHmin.
// One step per record; the rates are per step, so a fast interval gives a
// tank in fast motion.
class Tank {
public:
    explicit Tank(double startPh = 7.30) : ph_(startPh) {}

    // Moves the pH for one step with the outputs as they are, then switches
    // the outputs by the new pH. `jitter` is added to the pH (measurement noise).
    void step(const Settings& s, double jitter = 0.0);
    // A controller restart switches both outputs off until the next step.
    void resetOutputs() { co2_ = o2_ = false; }

    double ph() const { return ph_; }
    bool co2() const { return co2_; }
    bool o2() const { return o2_; }
    // The reading a record shows: pH rounded to hundredths.
    Reading reading() const;

    // pH the water settles at with no CO2 (degassed) and with CO2 flowing.
    static constexpr double kRestPh = 7.80;
    static constexpr double kCo2Ph = 5.80;
    // Fraction of the distance to the settling pH covered per step.
    static constexpr double kFallRate = 0.02;
    static constexpr double kRiseRate = 0.01;

private:
    double ph_;
    bool co2_ = false;
    bool o2_ = false;
};

// ---- commands ----

struct Command {
    enum class Kind {
        Settings, // a settings frame; `settings` holds it
        Factory,  // 32 × "2"
        Restart,  // 32 × "3"
        Unknown,  // a 32-character block that is none of the above: ignored
        Garbage,  // bytes that do not belong to any block: dropped
    };
    Kind kind;
    std::string text;    // the bytes concerned, as received
    Settings settings{}; // for Kind::Settings
    std::string reason;  // for Unknown and Garbage: why
};

// The settings of a settings frame, or nothing with the reason in `why`.
// A frame is 11 fields: ten of three digits (brightness, contrast, PHmax
// units, PHmax hundredths, PHmin units, PHmin hundredths, alarm, KH, 000,
// 000) and "11"; each field within the range the controller accepts.
std::optional<Settings> parseSettingsFrame(std::string_view frame, std::string* why = nullptr);

// The settings frame for s (the inverse of parseSettingsFrame).
std::string encodeSettingsFrame(const Settings& s);

// Collects the bytes received from the line and cuts them into 32-character
// commands. Commands carry no terminator, so the reader resynchronises:
// - a byte that is not a digit cannot be part of a command: it and any partial
//   block before it are dropped as garbage;
// - when the first 32 digits are no command but a real one starts a few bytes
//   later, the bytes before it are dropped as garbage;
// - a quiet line (flushIdle(), called by the shell after a pause in the input)
//   ends a partial block, since the program writes a command in one go.
class CommandReader {
public:
    static constexpr std::size_t kLength = 32;

    std::vector<Command> feed(std::string_view bytes);
    std::vector<Command> flushIdle();
    std::size_t pending() const { return buf_.size(); }

private:
    void drain(std::vector<Command>& out, bool final);
    std::string buf_;
};

// Classifies one full 32-character block (Settings, Factory, Restart or Unknown).
Command classifyBlock(std::string_view block);

// ---- misbehaviour ----

// A burst of 1 to 40 random printable bytes (no line ends).
std::string noiseBurst(std::mt19937& rng);
// The record with 1 to 4 NUL bytes put in at random places.
std::string withNuls(std::string record, std::mt19937& rng);
// The record lines broken in one of several ways, chosen by `variant`: a value
// line missing, a line too many, "." for ",", a five-character pH, two spaces
// in the end line, a two-character output line. The program must drop each.
std::vector<std::string> brokenRecord(std::vector<std::string> lines, unsigned variant);
constexpr unsigned kBrokenVariants = 6;
// 20 to 60 bytes with the high bit set and no CR LF, as a line at the wrong speed gives.
std::string wrongSpeedBytes(std::mt19937& rng);

// ---- options ----

struct Options {
    int intervalMs = 1000;
    int kh = 5;
    double startPh = 7.30;
    std::string link;
    std::string commandLog;
    bool noise = false;
    bool nul = false;
    int brokenEvery = 0; // 0: off
    bool wrongSpeed = false;
    double hangupAfter = -1; // seconds; < 0: never
    double unplugAfter = -1;
    double replugAfter = 2.0;
    long long count = -1; // records; < 0: endless
    std::uint32_t seed = 0;
    bool seedGiven = false;
    bool help = false;
    bool version = false;
};

// Parses argv[1..]; on an error returns nothing and sets `error`.
std::optional<Options> parseOptions(const std::vector<std::string>& args, std::string& error);

std::string usageText();

} // namespace tarlo::sim
