// check's findings over prepared working folders and data directories: trimdesk's marker rules,
// calibrator choice and readers, seen from the technician's side.
#include "folder_check.h"

#include "temp_workplace.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

unsigned problemsIn(const Findings& findings) {
    unsigned problems = 0;
    for (const Finding& finding : findings) problems += finding.ok ? 0 : 1;
    return problems;
}

std::string linesOf(const Findings& findings) {
    std::string text;
    for (const Finding& finding : findings) text += findingLine(finding) + "\n";
    return text;
}

class FolderCheck : public TempWorkplace {
  protected:
    void place(const std::vector<std::string>& names) {
        for (const std::string& name : names) writeFile(name, "");
    }
};

TEST_F(FolderCheck, MarkersConflictsAndCalibrators) {
    const struct {
        std::vector<std::string> files;
        unsigned problems;
        const char* shown;
    } cases[] = {
        {{}, 2, "Файлов-признаков интерфейса"},
        {{"rsport.dll", "hostbus.dll", "capte.exe", "capta.exe"},
         0,
         "[OK] Калибратор capte.exe (выбран по rsport.dll) есть в папке."},
        {{"fourpot.dll", "hostbus.dll", "captd.exe", "capta.exe"},
         1,
         "[!!] Признаки противоречат друг другу: fourpot.dll и hostbus.dll"},
        {{"HBV5.dll", "simulator.exe", "captb.exe", "capta.exe"},
         1,
         "simulator.exe и HBV5.dll — trimdesk откажется"},
        {{"HBV5.dll", "rsport.dll", "capte.exe", "capta.exe"}, 1, "HBV5.dll и rsport.dll"},
        {{"simulator.exe", "capta.exe"}, 1, "[!!] Калибратор captb.exe (выбран по simulator.exe)"},
        {{"HBV5.dll"}, 2, "[!!] Калибратор коробки передач capta.exe в папке не найден"},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(::testing::PrintToString(test.files));
        TearDown();
        SetUp();
        place(test.files);
        const Findings findings = checkInterfaceMarkers("");
        EXPECT_EQ(problemsIn(findings), test.problems) << linesOf(findings);
        EXPECT_NE(linesOf(findings).find(test.shown), std::string::npos) << linesOf(findings);
    }
}

TEST_F(FolderCheck, LooksIntoTheNamedFolderNotTheCurrentOne) {
    place({"rsport.dll"});
    const std::filesystem::path other = root_ / "other";
    std::filesystem::create_directories(other);
    writeFile((other / "HBV5.dll").string(), "");
    const std::string text = linesOf(checkInterfaceMarkers((other / "").string()));
    EXPECT_NE(text.find("capta.exe (выбран по HBV5.dll)"), std::string::npos) << text;
    EXPECT_EQ(text.find("rsport.dll"), std::string::npos) << text;
}

const std::string kGoodValues = "900\n100\n800\n50\n700\n60\n600\n70\n500\n80\n";
const std::string kGoodGears =
    "200\n200\n300\n300\n200\n300\n200\n100\n100\n300\n100\n100\n300\n100\n";

TEST_F(FolderCheck, CalibrationFilesAsTrimdeskReadsThem) {
    const struct {
        const char* name;
        std::string content;  // empty: no file
        bool ok;
        const char* shown;
    } cases[] = {
        {"calib_us.out", kGoodValues, true,
         "руль 100…900, газ 50…800, тормоз 60…700, сцепление 70…600, ручной тормоз 80…500; "
         "кнопка «Восстановить значения по умолчанию» доступна"},
        {"calib_us.out", "", false, "calib_us.out нет: значений по умолчанию не будет"},
        {"calib_us.out", "900\r\n100\r\n50\r\n800\r\n700\r\n60\r\n600\r\n70\r\n500\r\n80", false,
         "calib_us.out испорчен: газ — минимум 800 не меньше максимума 50"},
        {"calib5us.out", kGoodValues, true, "калибровка записана (мин…макс) руль 100…900"},
        {"calib5us.out", kGoodValues.substr(0, kGoodValues.size() - 3), false,
         "calib5us.out испорчен: прочитано строк 9 из 10"},
        {"calib5us.out", "  -25abc\n-25\n" + kGoodValues.substr(8), false,
         "руль — минимум -25 не меньше максимума -25"},
        {"calibkpp.out", kGoodGears, true, "N 200,200; 1 300,300; 2 200,300; 3 200,100"},
        {"calibkpp.out", kGoodGears.substr(0, 24), false, "прочитано строк 6 из 14"},
        {"calibkpp.out", "200\n200\n300\n300\n100\n300\n200\n100\n100\n300\n100\n100\n300\n100\n",
         false, "нарушают правило 5 схемы"},
        {"calibkpp.out", "", false, "calibkpp.out нет: коробка передач не откалибрована"},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.content);
        TearDown();
        SetUp();
        if (!test.content.empty()) writeFile(dataFile(test.name), test.content);
        const Findings findings = checkDataDirectory(dataDir());
        ASSERT_EQ(findings.size(), 4u);
        EXPECT_TRUE(findings[0].ok) << findings[0].text;
        bool seen = false;
        for (const Finding& finding : findings) {
            if (finding.text.rfind(test.name, 0) != 0) continue;
            seen = true;
            EXPECT_EQ(finding.ok, test.ok) << finding.text;
            EXPECT_NE(finding.text.find(test.shown), std::string::npos) << finding.text;
        }
        EXPECT_TRUE(seen) << linesOf(findings);
    }
}

TEST_F(FolderCheck, DataDirectoryMissingOrProbedWithoutATrace) {
    const std::string missing = (root_ / "absent" / "").string();
    const Findings absent = checkDataDirectory(missing);
    ASSERT_EQ(absent.size(), 1u);
    EXPECT_FALSE(absent[0].ok);
    EXPECT_NE(absent[0].text.find(missing + " нет"), std::string::npos) << absent[0].text;

    writeFile(dataFile("calib_us.out"), kGoodValues);
    EXPECT_TRUE(checkDataDirectory(dataDir())[0].ok);
    const auto entries = std::distance(std::filesystem::directory_iterator(root_ / "data"), {});
    EXPECT_EQ(entries, 1) << "the probe file stayed behind";
}

}  // namespace
