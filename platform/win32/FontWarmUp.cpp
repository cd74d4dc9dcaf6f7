// The window's faces on Windows come with the program: the fonts folder beside the program
// holds Liberation Sans and DejaVu Sans, the faces that stand for the layout's "MS Sans Serif"
// and "Arial" on Linux (installFontSubstitutions), so the window is drawn alike on both. The
// files are read on a thread while the application starts; wait() gives them to Qt.

#include "FontWarmUp.h"

#include <QFontDatabase>

#include <filesystem>
#include <fstream>
#include <iterator>

#include <windows.h>

FontWarmUp::FontWarmUp()
{
    thread_ = std::thread([this] {
        wchar_t exe[MAX_PATH];
        const DWORD n = GetModuleFileNameW(nullptr, exe, MAX_PATH);
        if (n == 0 || n == MAX_PATH)
            return;
        std::error_code ec;
        const std::filesystem::path folder = std::filesystem::path(exe).parent_path() / L"fonts";
        for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
            if (entry.path().extension() != L".ttf")
                continue;
            std::ifstream in(entry.path(), std::ios::binary);
            const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
            if (!bytes.empty())
                files_.push_back(QByteArray::fromStdString(bytes));
        }
    });
}

FontWarmUp::~FontWarmUp() { wait(); }

void FontWarmUp::wait()
{
    if (thread_.joinable())
        thread_.join();
    // Without them (a copy run from its build folder) the system's fonts serve.
    for (const QByteArray& file : files_)
        QFontDatabase::addApplicationFontFromData(file);
    files_.clear();
}
