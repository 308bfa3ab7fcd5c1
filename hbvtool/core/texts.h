// Every text hbvtool shows, in UTF-8: the trainer's technicians read Russian. The console layer
// converts them to UTF-16 at its boundary.
#pragma once

namespace texts {

inline constexpr const char* kHelp =
    "hbvtool — проверка платы сопряжения тренажёра через HBV7.dll или HBV5.dll.\n"
    "\n"
    "Команды:\n"
    "  hbvtool list                              все HID-устройства системы, платы отмечены\n"
    "  hbvtool boards                            модели подключённых плат, по одной в строке\n"
    "  hbvtool check [--folder ПАПКА]            проверка рабочей папки тренажёра (без него —\n"
    "                                            текущей), C:\\sys_kvel\\, DLL и платы\n"
    "  hbvtool watch [--count N] [--seconds S] [--record ФАЙЛ] [--all]\n"
    "                                            пакеты платы: в консоли — сводка на месте,\n"
    "                                            в файл или с --all — каждый пакет с\n"
    "                                            отметкой времени; Ctrl+C — конец\n"
    "  hbvtool version                           запрос версии платы\n"
    "  hbvtool eeprom-read АДРЕС ЧИСЛО           чтение ЧИСЛО (1–61) байт EEPROM с АДРЕСА\n"
    "  hbvtool eeprom-write АДРЕС БАЙТЫ --yes    запись в EEPROM (до 60 байт)\n"
    "  hbvtool send БАЙТЫ                        блок для Write, дополненный нулями\n"
    "                                            (HBV7: 48 байт, HBV5: 24 байта)\n"
    "  hbvtool bootloader --yes                  перевод платы в загрузчик\n"
    "\n"
    "Параметры:\n"
    "  --dll ПУТЬ   библиотека платы; без него — HBV7.dll, иначе HBV5.dll рядом с программой\n"
    "  --help       эта справка\n"
    "\n"
    "АДРЕС и ЧИСЛО — десятичные или с 0x; БАЙТЫ — пары шестнадцатеричных цифр, например 0A1B.\n"
    "Файл записи: по строке на отчёт — миллисекунды от начала и 64 байта данных в hex;\n"
    "строки с # — комментарии.\n"
    "Код завершения: 0 — успех, 1 — плата не найдена, команда не выполнена или check\n"
    "нашла неполадку, 2 — ошибка в командной строке.";

// Usage errors
inline constexpr const char* kNoCommand = "не задана команда (hbvtool --help — справка)";
inline constexpr const char* kUnknownCommand = "неизвестная команда: ";
inline constexpr const char* kUnknownOption = "неизвестный параметр: ";
inline constexpr const char* kMissingValue = "нет значения у параметра ";
inline constexpr const char* kMissingArgument = "не хватает аргументов команды ";
inline constexpr const char* kExtraArgument = "лишний аргумент: ";
inline constexpr const char* kBadAddress = "адрес должен быть числом от 0 до 255: ";
inline constexpr const char* kBadReadCount = "число байт для чтения должно быть от 1 до 61: ";
inline constexpr const char* kBadHex = "байты должны быть парами шестнадцатеричных цифр: ";
inline constexpr const char* kBadWriteLength = "в EEPROM пишется от 1 до 60 байт, задано: ";
inline constexpr const char* kBadSendLength =
    "блок для Write — не больше 48 байт (у HBV5 — 24), задано: ";
inline constexpr const char* kBadBlockLength = "блок модели %s — не больше %u байт, задано: %u";
inline constexpr const char* kBadPositive = "значение должно быть целым числом от 1: ";
inline constexpr const char* kNoSuchFolder = "нет такой папки: ";
inline constexpr const char* kNeedsYes = "команда меняет плату: подтвердите её параметром --yes";

// Failures
inline constexpr const char* kBoardNotFound = "Плата не найдена.";
inline constexpr const char* kDllNotLoaded = "не удалось загрузить библиотеку платы: ";
inline constexpr const char* kNotBoardDll = "в библиотеке нет функций HBV7 или HBV5: ";
inline constexpr const char* kInitFailed = "библиотека платы не запустилась (Init вернула 0)";
inline constexpr const char* kWindowFailed = "не удалось создать окно для сообщений библиотеки";
inline constexpr const char* kRecordNotOpened = "не удалось создать файл записи: ";
inline constexpr const char* kRecordNotWritten = "не удалось записать файл записи: ";
inline constexpr const char* kNotTaken = "Плата не приняла команду.";
inline constexpr const char* kHidListFailed = "система не выдала список HID-устройств";

// Reports
inline constexpr const char* kLibrary =
    "Библиотека: %s, модель %s, версия DLL %u.%02u, драйвера %u.%02u";
inline constexpr const char* kNoInterfaces = "HID-устройств в системе нет.";
inline constexpr const char* kNoBoardListed = "Плат HBV7 и HBV5 среди них нет.";
inline constexpr const char* kBoardsListed = "Плат найдено: %u.";
inline constexpr const char* kBoardMark = "  ← плата %s";
inline constexpr const char* kNotOpened = "  (не открывается)";
inline constexpr const char* kUnknownId = "0x????";
inline constexpr const char* kWatching =
    "Пакеты платы (секунды от начала, байты в hex); Ctrl+C — конец.";
inline constexpr const char* kRate = "-- в секунду: %u, всего: %u";
inline constexpr const char* kWatchingLive = "Пакеты платы, сводка раз в 0,1 с; Ctrl+C — конец.";
inline constexpr const char* kLatestPacket = "Последний пакет: ";
inline constexpr const char* kWatchStatus =
    "В секунду: %u   всего: %u   после последнего пакета: %u.%03u с";
inline constexpr const char* kNoPacketYet = "Пакетов пока нет (прошло %u с).";
inline constexpr const char* kWatchEnded = "Принято пакетов: %u за %u.%03u с.";
inline constexpr const char* kRecorded = "Запись: %s";
inline constexpr const char* kNothingRecorded =
    "Пакетов не пришло: файл записи %s не создан и не изменён.";
inline constexpr const char* kTaken = "Плата приняла команду.";
inline constexpr const char* kStored = "Блок передан библиотеке: %s";
inline constexpr const char* kAnswer = "Ответ: ";
inline constexpr const char* kNoAnswer = "Ответа за %u мс не пришло.";
inline constexpr const char* kOtherPackets = "Других пакетов за это время: %u.";
inline constexpr const char* kMorePackets = "… и ещё пакетов: %u.";

// check: each finding is one line, its mark first.
inline constexpr const char* kOkMark = "[OK] ";
inline constexpr const char* kProblemMark = "[!!] ";
inline constexpr const char* kCheckedFolder = "Рабочая папка: %s";
inline constexpr const char* kCheckPassed = "Всё в порядке.";
inline constexpr const char* kCheckFailed = "Найдено неполадок: %u.";
inline constexpr const char* kMarkersFound = "Файлы-признаки интерфейса: %s";
inline constexpr const char* kNoMarkers =
    "Файлов-признаков интерфейса (hostbus.dll, fourpot.dll, simulator.exe, rsport.dll, "
    "HBV5.dll) в папке нет: trimdesk не запустит калибратор и остановится на первом шаге. "
    "Положите в папку файл интерфейса тренажёра.";
inline constexpr const char* kMarkerConflict =
    "Признаки противоречат друг другу: %s — trimdesk откажется работать на шаге 1. Уберите из "
    "папки лишние файлы.";
inline constexpr const char* kCalibratorThere = "Калибратор %s (выбран по %s) есть в папке.";
inline constexpr const char* kCalibratorMissing =
    "Калибратор %s (выбран по %s) в папке не найден: измерения не будет, trimdesk остановится "
    "после шага. Положите %s в папку.";
inline constexpr const char* kGearCalibratorThere = "Калибратор коробки передач %s есть в папке.";
inline constexpr const char* kGearCalibratorMissing =
    "Калибратор коробки передач %s в папке не найден: положения передач не измерить. Положите "
    "%s в папку.";
inline constexpr const char* kDataFolderWritable = "Папка %s есть, файлы в ней создаются.";
inline constexpr const char* kDataFolderMissing =
    "Папки %s нет: trimdesk не сможет записать калибровку. Создайте её.";
inline constexpr const char* kDataFolderReadOnly =
    "В папке %s нельзя создать файл: калибровка не запишется. Снимите с папки защиту от записи "
    "или дайте права на запись.";
inline constexpr const char* kFileMissing = "%s нет: %s";
inline constexpr const char* kFileShort = "%s испорчен: прочитано строк %d из %d; %s";
inline constexpr const char* kPairInverted =
    "%s испорчен: %s — минимум %d не меньше максимума %d; %s";
inline constexpr const char* kDefaultsUsable =
    "%s: значения по умолчанию (мин…макс) %s; кнопка «Восстановить значения по умолчанию» "
    "доступна.";
inline constexpr const char* kDefaultsUnusable =
    "значений по умолчанию не будет, кнопка «Восстановить значения по умолчанию» недоступна. "
    "Положите исправный файл в папку.";
inline constexpr const char* kResultUsable =
    "%s: калибровка записана (мин…макс) %s; trimdesk покажет её как старые значения.";
inline constexpr const char* kResultUnusable =
    "калибровка органов управления не записана, trimdesk не покажет старых значений. Проведите "
    "калибровку в trimdesk.";
inline constexpr const char* kGearsUsable =
    "%s: положения семи передач (X,Y) %s соответствуют схеме переключения.";
inline constexpr const char* kGearsUnusable =
    "коробка передач не откалибрована. Откалибруйте её в trimdesk.";
inline constexpr const char* kGearsOffPattern =
    "%s: положения передач (X,Y) %s нарушают правило %d схемы переключения. Откалибруйте "
    "коробку передач заново.";
inline constexpr const char* kBoardDll = "%s: модель %s, %s, версия %s.";
inline constexpr const char* kVersionUnknown = "не узнать (другая архитектура)";
inline constexpr const char* kNotABoardDll =
    "%s: в ней нет функций HBV7 или HBV5 — это не библиотека платы. Замените её DLL из "
    "комплекта.";
inline constexpr const char* kWrongModelName =
    "%s содержит функции модели %s: программа, которая ищет %s, их не найдёт. Положите DLL "
    "своей модели под своим именем.";
inline constexpr const char* kWrongArchitecture =
    "%s: модель %s, архитектура %s, а у hbvtool — %s: программа другой архитектуры её не "
    "загрузит. Возьмите DLL и программы одной сборки (win32 — i686, win64 — x86_64).";
inline constexpr const char* kNoBoardNoDll =
    "Плат HBV7 и HBV5 не подключено и их DLL в папке нет: проверка платы не нужна.";
inline constexpr const char* kNoBoard =
    "Плата не подключена: в списке HID-устройств нет 0x4973:0x0010 (HBV7) и 0x4973:0x000F "
    "(HBV5). Проверьте кабель USB и питание платы.";
inline constexpr const char* kBoardWithDll =
    "Подключена плата %s (0x%04X:0x%04X); %s в папке — для неё.";
inline constexpr const char* kBoardWithoutDll =
    "Подключена плата %s (0x%04X:0x%04X), а годной %s в папке нет: положите %s той же "
    "архитектуры, что и программы.";
inline constexpr const char* kVersionAnswered = "Плата %s ответила на запрос версии через %s: %s.";
inline constexpr const char* kVersionNotTaken =
    "Плата %s не приняла запрос версии через %s: переподключите плату, проверьте, не занята "
    "ли она другой программой.";
inline constexpr const char* kVersionNotAnswered =
    "Плата %s приняла запрос версии через %s, но за %u мс не ответила: перезапустите плату "
    "(отключите и подключите USB).";
inline constexpr const char* kControlNames[] = {"руль", "газ", "тормоз", "сцепление",
                                                "ручной тормоз"};
inline constexpr const char* kGearNames[] = {"N", "1", "2", "3", "4", "5", "R"};

}  // namespace texts
