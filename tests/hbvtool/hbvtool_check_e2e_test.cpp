// hbvtool check under Wine over prepared working folders and C:\sys_kvel\ (trimdesk's e2e
// driver prepares both), with no board attached: its lines and exit status.
#include "texts.h"
#include "tool_run.h"
#include "trimdesk_driver.h"
#include "wide_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace {

// The DLLs beside the tool are of the tool's own build.
#ifdef _WIN64
const std::string kBuildArchitecture = "x86_64";
#else
const std::string kBuildArchitecture = "i686";
#endif

const std::string kGoodValues = "900\n100\n800\n50\n700\n60\n600\n70\n500\n80\n";
const std::string kGoodGears =
    "200\n200\n300\n300\n200\n300\n200\n100\n100\n300\n100\n100\n300\n100\n";

TEST(HbvtoolCheck, FindingsAndExitStatusOverPreparedFolders) {
    const struct {
        const char* name;
        std::vector<std::string> markers;
        std::vector<std::string> calibrators;
        std::vector<std::string> boardDlls;
        bool dataDirectory;
        std::string defaults;  // calib_us.out
        DWORD exitCode;
        std::vector<std::string> lines;
    } cases[] = {
        {"all in order",
         {"rsport.dll"},
         {"capte.exe", "capta.exe"},
         {},
         true,
         kGoodValues,
         0,
         {"[OK] Файлы-признаки интерфейса: rsport.dll",
          "[OK] Калибратор capte.exe (выбран по rsport.dll) есть в папке.",
          "[OK] Папка C:\\sys_kvel\\ есть, файлы в ней создаются.",
          "[OK] calib_us.out: значения по умолчанию (мин…макс) руль 100…900, газ 50…800, "
          "тормоз 60…700, сцепление 70…600, ручной тормоз 80…500; кнопка «Восстановить "
          "значения по умолчанию» доступна.",
          "[OK] calibkpp.out: положения семи передач (X,Y) N 200,200; 1 300,300; 2 200,300; 3 "
          "200,100; 4 100,300; 5 100,100; R 300,100 соответствуют схеме переключения.",
          std::string("[OK] ") + texts::kNoBoardNoDll, texts::kCheckPassed}},
        {"contradictory markers",
         {"fourpot.dll", "hostbus.dll"},
         {"captd.exe", "capta.exe"},
         {},
         true,
         kGoodValues,
         1,
         {"[!!] Признаки противоречат друг другу: fourpot.dll и hostbus.dll — trimdesk "
          "откажется работать на шаге 1. Уберите из папки лишние файлы.",
          "Найдено неполадок: 1."}},
        {"missing calibrator, board DLLs, no board",
         {"HBV5.dll"},
         {},
         {"HBV5.dll", "HBV7.dll"},
         true,
         kGoodValues,
         1,
         {"[!!] Калибратор capta.exe (выбран по HBV5.dll) в папке не найден: измерения не "
          "будет, trimdesk остановится после шага. Положите capta.exe в папку.",
          "[OK] HBV7.dll: модель HBV7, " + kBuildArchitecture + ", версия 3.00.",
          "[OK] HBV5.dll: модель HBV5, " + kBuildArchitecture + ", версия 3.01.",
          std::string("[!!] ") + texts::kNoBoard, "Найдено неполадок: 3."}},
        {"bad defaults",
         {"rsport.dll"},
         {"capte.exe", "capta.exe"},
         {},
         true,
         "900\n100\n50\n800\n700\n60\n600\n70\n500\n80\n",
         1,
         {"[!!] calib_us.out испорчен: газ — минимум 800 не меньше максимума 50; значений по "
          "умолчанию не будет, кнопка «Восстановить значения по умолчанию» недоступна. "
          "Положите исправный файл в папку.",
          "Найдено неполадок: 1."}},
        {"missing data folder",
         {"rsport.dll"},
         {"capte.exe", "capta.exe"},
         {},
         false,
         "",
         1,
         {"[!!] Папки C:\\sys_kvel\\ нет: trimdesk не сможет записать калибровку. Создайте "
          "её.",
          "Найдено неполадок: 1."}},
    };
    const e2e::DataDirectory data;  // puts C:\sys_kvel\ back as it was
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        const e2e::WorkFolder folder;
        for (const std::string& marker : test.markers) folder.addMarker(marker);
        if (!test.calibrators.empty()) folder.addCalibrators(test.calibrators);
        for (const std::string& dll : test.boardDlls) {
            CopyFileW(widen(kSystemDlls + dll).c_str(), (folder.path() / dll).c_str(), FALSE);
        }
        data.clear();
        data.writeFile("calib_us.out", test.defaults);
        data.writeFile("calib5us.out", kGoodValues);
        data.writeFile("calibkpp.out", kGoodGears);
        if (!test.dataDirectory) std::filesystem::remove_all(e2e::DataDirectory::path());

        const ToolRun run = runTool({"check", "--folder", narrow(folder.path().wstring())});
        std::filesystem::create_directories(e2e::DataDirectory::path());
        EXPECT_EQ(run.exitCode, test.exitCode) << run.out << run.err;
        const std::vector<std::string> lines = linesOf(run.out);
        if (lines.empty()) {
            ADD_FAILURE() << "check printed nothing; error stream: " << run.err;
            continue;
        }
        EXPECT_EQ(lines.front(), "Рабочая папка: " + narrow(folder.path().wstring()));
        for (const std::string& line : test.lines) {
            EXPECT_NE(std::find(lines.begin(), lines.end(), line), lines.end()) << line << "\nin:\n"
                                                                                << run.out;
        }
        EXPECT_EQ(run.err, "");
    }
}

}  // namespace
