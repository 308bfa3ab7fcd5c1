#pragma once

// Where the trainer keeps its calibration files; it must exist already.
inline constexpr const char* kDataDirectory = "C:\\sys_kvel\\";
