// Every text the calibration program shows, in UTF-8. The Win32 layer converts at its boundary.
#pragma once

#include <array>

namespace texts {

inline constexpr const char* kMessageCaption = "Сообщение программы калибровки тренажера";
inline constexpr const char* kGearboxButtonCaption = "Калибровка коробки передач";
inline constexpr const char* kStartStatus =
    "Для начала калибровки нажмите клавишу  \"Калибровать\"";
inline constexpr const char* kOkHintText =
    "ОК станет доступно после прохождения всех шагов  (без учета коробки передач)";

// Help
inline constexpr const char* kHelpCaption = "Информация по программе калибровки тренажера";
inline constexpr std::array<const char*, 14> kHelpPieces = {
    "Программа калибровки позволяет настроить следующие органы управления тренажера:\n",
    "- рулевое управление\n- педаль газа\n- педаль тормоза\n- педаль сцепления\n- ручной "
    "тормоз.",
    "\n\nПРИМЕЧАНИЕ: калибровка коробки передач производится отдельно от остальных органов "
    "управления\n(см. клавишу вверху рисунка).",
    "\n\nКалибровка каждого органа управления определяется минимальным и максимальным "
    "значениями соответствующего параметра.",
    " Эти значения можно задать двумя способами: либо вручную (для этого нужно включить опцию ",
    "\"Ввести параметры вручную\"), либо непосредственно с помощью органов управления "
    "тренажера.",
    "\n\nКалибровку органов управления можно производить выборочно с помощью клавиш  "
    "\"Вперед\"  и  \"Назад\".      ",
    "\nЕсли калибровка производится от органов управления, то с помощью этих же клавиш "
    "калибровку можно проводить повторно (нажать сначала ",
    "клавишу  \"Вперед\", а потом  \"Назад\").",
    "\n\nРЕКОМЕНДАЦИИ",
    "\n1.  Если руль реагирует слишком чувствительно даже на небольшой поворот, рекомендуется "
    "уменьшить максимальное ",
    "значение и увеличить минимальное значение параметров настройки руля.",
    "\n2.  Если при постановке на ручной тормоз будут раздаваться постоянные щелчки, "
    "рекомендуется уменьшить максимальное значение ",
    "параметра настройки ручного тормоза.",
};

// Interface markers
inline constexpr const char* kTwoSimilarDlls =
    "ОШИБКА: программа обнаружила две однотипных DLL: fourpot.dll и hostbus.dll и не может "
    "из-за этого продолжить работу. Удалите ненужную DLL из рабочей папки.";
inline constexpr const char* kIncompatibleInterfaces =
    "ОШИБКА: программа обнаружила несовместимые версии интерфейса для тренажера и не может "
    "из-за этого продолжить работу.";

// Capture files: the file name follows the first two.
inline constexpr const char* kCaptureNotFound = "ОШИБКА: программа не может найти файл ";
inline constexpr const char* kCaptureUnreadable = "ОШИБКА: программа не может прочитать файл ";
inline constexpr const char* kGearLine1Unreadable =
    "ОШИБКА: программа не может прочитать строку 1 в файле calib_s.tmp";
inline constexpr const char* kGearLine2Unreadable =
    "ОШИБКА: программа не может прочитать строку 2 в файле calib_s.tmp";

// Value files
inline constexpr const char* kDefaultsNotFound =
    "Значения по умолчанию недоступны, не найден файл \"C:\\sys_kvel\\calib_us.out\"";
inline constexpr const char* kDefaultsDamaged =
    "Значения по умолчанию недоступны, испорчен файл  \"C:\\sys_kvel\\calib_us.out\"";
// printf formats of the default lines 1009..1013: minimum, then maximum.
inline constexpr std::array<const char*, 5> kDefaultLineFormats = {
    "%5d %5d    параметры рулевого управления", "%5d %5d    параметры педали газа",
    "%5d %5d    параметры педали тормоза",      "%5d %5d    параметры педали сцепления",
    "%5d %5d    параметры ручного тормоза",
};
inline constexpr const char* kInvalidPairPrefix =
    "ОШИБКА: калибровочный файл нельзя создать из-за неправильных параметров настройки ";
inline constexpr std::array<const char*, 5> kInvalidPairControls = {
    "руля.   ",
    "педали газа.   ",
    "педали тормоза.   ",
    "педали сцепления.   ",
    "ручного тормоза.   ",
};
inline constexpr const char* kResultOpenFailed =
    "ОШИБКА: программа не может открыть файл  C:\\sys_kvel\\calib5us.out  для записи.";
inline constexpr const char* kResultWriteFailed =
    "ОШИБКА: программа не может сделать запись в файл  C:\\sys_kvel\\calib5us.out";
inline constexpr const char* kResultWritten = "++++++ Калибровочный файл успешно создан ++++++";
inline constexpr const char* kResultWrittenPartly =
    "Калибровочный файл успешно создан, но не была проведена калибровка для следующих органов "
    "управления:\n\n";
inline constexpr std::array<const char*, 5> kUncalibratedControls = {
    "рулевое управение\n", "педаль газа\n",   "педаль тормоза\n",
    "педаль сцепления\n",  "ручной тормоз\n",
};
inline constexpr const char* kDefaultsRestored =
    "Значения параметров по умолчанию восстановлены.\n\nНажмите ОК в главной панели, чтобы "
    "записать их в калибровочный файл.   ";

}  // namespace texts
