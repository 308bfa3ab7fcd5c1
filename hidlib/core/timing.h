// Time limits of the device link and the worker threads.
#pragma once

// Longest wait for one report to be read or written before the transfer is given up.
constexpr unsigned kIoTimeoutMs = 1000;
// Pause after a read that produced no report, before the next attempt.
constexpr unsigned kRetryDelayMs = 100;
