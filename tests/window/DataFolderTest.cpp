// Where the program works: its working folder, unless that is its own folder or cannot be
// written.

#include "DataFolder.h"

#include <gtest/gtest.h>

TEST(DataFolder, AStartAmongTheProgramsFilesMovesToTheDataFolder)
{
    const QString program = QStringLiteral("C:\\Program Files\\Tarlo01");
    const QList<InstalledCopy> installs = {
        {QStringLiteral("D:\\Apps\\Tarlo01"), QStringLiteral("C:\\Users\\Public\\Documents\\Tarlo01")},
        {QStringLiteral("C:\\Program Files\\Tarlo01\\"),
         QStringLiteral("C:\\Users\\Public\\Documents\\Tarlo01")},
    };
    const QString documents = QStringLiteral("C:\\Users\\Łukasz\\Documents");
    const struct {
        const char* what;
        QString working;
        bool writable;
        QList<InstalledCopy> installs;
        QString chosen;
    } cases[] = {
        {"a folder of the user's own", "C:/Users/Łukasz/Akwarium", true, installs,
         "C:/Users/Łukasz/Akwarium"},
        {"the program's folder, as the installer recorded it", "c:/program files/TARLO01", true, installs,
         "C:\\Users\\Public\\Documents\\Tarlo01"},
        {"the program's folder, not installed",
         "C:/Program Files/Tarlo01",
         true,
         {},
         "C:/Users/Łukasz/Documents/Tarlo01"},
        {"a folder that cannot be written",
         "C:/Windows/System32",
         false,
         {},
         "C:/Users/Łukasz/Documents/Tarlo01"},
        {"another copy's record is not this one's",
         "C:/Program Files/Tarlo01",
         true,
         {installs[0]},
         "C:/Users/Łukasz/Documents/Tarlo01"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(chooseDataFolder(c.working, c.writable, program, c.installs, documents).toStdString(),
                  c.chosen.toStdString())
            << c.what;
}
