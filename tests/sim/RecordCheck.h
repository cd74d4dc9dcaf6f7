#pragma once

// How the receiving program sees a record stream: lines ended by CR LF, a
// frame is the twelve lines after a "-". recordForm() checks a frame against
// the forms the program accepts and displays.

#include <string>
#include <vector>

namespace simtest {

inline std::vector<std::string> splitLines(const std::string& stream)
{
    std::vector<std::string> lines;
    std::size_t pos = 0;
    for (;;) {
        const std::size_t end = stream.find("\r\n", pos);
        if (end == std::string::npos)
            break; // an unfinished last line is not a line yet
        lines.push_back(stream.substr(pos, end - pos));
        pos = end + 2;
    }
    return lines;
}

// Every frame in the stream: the twelve lines after each "-" line that has
// twelve lines behind it.
inline std::vector<std::vector<std::string>> framesIn(const std::string& stream)
{
    const auto lines = splitLines(stream);
    std::vector<std::vector<std::string>> frames;
    for (std::size_t i = 0; i + 12 < lines.size(); ++i)
        if (lines[i] == "-")
            frames.emplace_back(lines.begin() + static_cast<long>(i) + 1,
                                lines.begin() + static_cast<long>(i) + 13);
    return frames;
}

inline bool digitsOnly(const std::string& s)
{
    if (s.empty())
        return false;
    for (char c : s)
        if (c < '0' || c > '9')
            return false;
    return true;
}

// digit "," digit digit
inline bool isPhLine(const std::string& s)
{
    return s.size() == 4 && digitsOnly(s.substr(0, 1)) && s[1] == ',' && digitsOnly(s.substr(2));
}

// "0", one or two digits "," one digit, or "100"
inline bool isPpmLine(const std::string& s)
{
    if (s == "0" || s == "100")
        return true;
    const auto comma = s.find(',');
    return (comma == 1 || comma == 2) && s.size() == comma + 2 && digitsOnly(s.substr(0, comma)) &&
           digitsOnly(s.substr(comma + 1));
}

// Empty when the frame has the form of a good record, else what is wrong.
inline std::string recordForm(const std::vector<std::string>& f)
{
    if (f.size() != 12)
        return "not twelve lines";
    for (int i : {0, 1, 2})
        if (!isPhLine(f[i]))
            return "line " + std::to_string(i + 1) + " '" + f[i] + "' is no pH";
    if (!isPpmLine(f[3]))
        return "line 4 '" + f[3] + "' is no PPM";
    for (int i : {4, 5, 8, 9})
        if (!digitsOnly(f[i]))
            return "line " + std::to_string(i + 1) + " '" + f[i] + "' is no integer";
    for (int i : {6, 7})
        if (f[i] != "0" && f[i] != "1")
            return "line " + std::to_string(i + 1) + " '" + f[i] + "' is no output state";
    if (f[10] != " ")
        return "line 11 is not one space";
    if (f[11] != "-")
        return "line 12 is not '-'";
    return {};
}

} // namespace simtest
