/*
 * hbv.h - the exports of HBV7.dll and HBV5.dll, the libraries of the trainer's USB interface
 * board. One header for both: HBV7.dll serves the board model with product id 0x0010 and
 * exports the functions ending in HBV7; HBV5.dll serves product id 0x000F and exports the
 * functions ending in HBV5. Both boards have vendor id 0x4973.
 *
 * Calling convention: every function is a plain C function with the default C calling
 * convention (__cdecl) and an undecorated export name. Link with libHBV7.dll.a / libHBV5.dll.a
 * (MinGW) or HBV7.lib / HBV5.lib (MSVC), or load the DLL and look the names up with
 * GetProcAddress.
 *
 * Results: functions returning uint8_t return 1 for success and 0 for failure. Failures are
 * silent: the library shows nothing, writes no files and keeps no log.
 *
 * Lifecycle: call Init first, then the others in any order from any thread, Done last. Init
 * and Done are not guarded against each other or against other calls made at the same time:
 * call Init before and Done after all other use, and Done before unloading the DLL.
 * Before Init, after an Init that returned 0, and after Done, every function that needs the
 * library's object returns 0 and touches nothing (GetPacket leaves the buffer as it was);
 * GetDllVersion and GetDrvVersion need no object and work at any time.
 *
 * Threads: after Init the library reads the board on a thread of its own (in HBV5.dll a
 * second thread sends the Write blocks). It searches for the board whenever it is not open,
 * so the board may be plugged in before or after Init and unplugged and plugged in again.
 * All functions but Init and Done may be called from several threads at once.
 *
 * Reopening: after a read or a write fails (1000 ms without an answer, an error, or a read
 * that brings less than a whole 65-byte report), the next transfer closes the board and
 * searches for it again. The read waiting at that moment is ended first, so that no report
 * comes twice (Windows gives each open handle its own copy of every report). Reports that the
 * board sends while it is closed are lost, as are those Windows still held for the closed
 * handle (at most 32). A failure on a handle that was already replaced does not close the new
 * one.
 *
 * Out of memory never ends the host: Init then returns 0, a command whose search for the
 * board runs out of memory returns 0, and the library's threads pause and try again.
 *
 * Input: each 65-byte input report of the board becomes one packet: the 64 bytes after the
 * report id, of which the last one counts the meaningful bytes at their start. Packets wait
 * in a queue without a size limit (none is ever dropped) until GetPacket takes them, oldest
 * first. For each queued packet the message given to Init is posted to the window given to
 * Init, with wParam 1 and lParam 0, after the packet is in the queue. No message is posted
 * when the window is null or the message is below 0x400 (WM_USER); packets are queued anyway.
 *
 * Never waiting: Write and GetPacket never wait for the board; they only take a lock held for
 * a copy of at most 64 bytes. QueryVersion, WriteEEPROM, ReadEEPROM and EnterBootloader write
 * their report in the calling thread: each waits for any report already being written, then
 * for at most one search for the board and 1000 ms for the write.
 *
 * The board's answers to QueryVersion and ReadEEPROM arrive as ordinary packets through
 * GetPacket; the library neither waits for them nor matches them to requests.
 *
 * Simulated DLLs: the simulated/ folder beside the DLLs holds HBV7.dll and HBV5.dll with the
 * same exports and behaviour, talking to a board that exists only in software, for developing
 * a host program without a trainer. The environment variable HBV_SIMULATION, read at Init,
 * chooses what the board does:
 *   not set or empty    a report every millisecond in the pattern below;
 *   unplug-after:MS     the same, but the board vanishes after MS milliseconds, comes back
 *                       MS milliseconds later, and so on;
 *   a file's path       the reports of a recording made with "hbvtool watch --record", with
 *                       their timing, from the start again after the last one.
 * A setting that cannot be used (an unreadable or malformed recording, a bad number) leaves
 * the board absent, so the mistake shows at once. What follows is the simulator's own
 * convention, not the real board's, whose reports and answers are its firmware's business:
 *   pattern report      byte 0 is 0x01; bytes 1-4 count the reports sent (low byte first);
 *                       bytes 5-14 five 16-bit values (low byte first) rising and falling
 *                       slowly, one for each analogue control; byte 15 a gear position 0-6
 *                       that changes every second; byte 16 the number of Write blocks taken,
 *                       modulo 256; 17 meaningful bytes.
 *   answers             come before the next pattern report, and start with the command's
 *                       code: QueryVersion gives 0x0A 0x03 0x00 (version 3.00);
 *                       WriteEEPROM gives 0x05, address, count once the bytes are stored in
 *                       a 256-byte EEPROM whose addresses wrap (kept from one run to the next
 *                       in %TEMP%\hbv-simulated-eeprom-HBV7.bin or -HBV5.bin, as the board
 *                       keeps its own when switched off); ReadEEPROM gives 0x06,
 *                       address, count and the bytes (at most 60); EnterBootloader gives 0x73.
 *                       Write blocks are taken and counted, with no answer.
 */
#ifndef HBV_H
#define HBV_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The DLLs are built with a module-definition file, so their own build needs no attribute. */
#ifdef HBV_BUILDING_LIBRARY
#define HBV_API
#else
#define HBV_API __declspec(dllimport)
#endif

/* ---- HBV7.dll (board product id 0x0010) ---- */

/*
 * Starts the library: creates its object and starts its thread(s). window (an HWND, may be
 * NULL) and message name the notification described above. Does not look for the board and
 * does not fail when the board is absent. Returns an opaque non-zero value on success, and 0
 * when the object could not be allocated or a thread of the library could not be started
 * (the library then stays without an object, having released what it made: without its
 * threads it would read nothing, and HBV5's Write would take blocks that nothing sends).
 * A second Init while the library is started changes nothing: it starts no second reader,
 * keeps the window and message of the first Init and returns the same value. Call Done first
 * to start again with another window or message.
 */
HBV_API void* __cdecl InitHBV7(void* window, uint32_t message);

/*
 * Hands a block of 48 bytes to the library's thread, which sends it as the report 0x0B
 * followed by the block after the board's current read attempt (at once after a report
 * arrived, after a 100 ms pause when the attempt failed). A newer block replaces one not yet
 * sent; a block whose write fails is dropped. Returns 1 as soon as the block is stored, also
 * with no board attached; never waits for the board. data NULL: returns 0 and stores nothing.
 */
HBV_API uint8_t __cdecl WriteHBV7(const uint8_t* data);

/* Sends the version query 0x0A; returns 1 when the board took the report within 1000 ms. */
HBV_API uint8_t __cdecl QueryVersionHBV7(void);

/*
 * Writes count bytes of data to the board's EEPROM at address (report 0x05, address, count,
 * data). count 0: returns 1 and sends nothing; count above 60: returns 0 and sends nothing.
 * data NULL with a count of 1 to 60: returns 0 and sends nothing. Otherwise returns 1 when the
 * board took the report within 1000 ms.
 */
HBV_API uint8_t __cdecl WriteEEPROMHBV7(const uint8_t* data, uint8_t address, uint8_t count);

/*
 * Asks the board for count bytes of its EEPROM from address (report 0x06, address, count);
 * the answer arrives as a packet. count 0: returns 1 and sends nothing; count above 61:
 * returns 0 and sends nothing. Otherwise returns 1 when the board took the report.
 */
HBV_API uint8_t __cdecl ReadEEPROMHBV7(uint8_t address, uint8_t count);

/* Sends 0x73, which switches the board into its boot loader; 1 when the board took it. */
HBV_API uint8_t __cdecl EnterBootloaderHBV7(void);

/*
 * Takes the oldest packet, copies its meaningful bytes to buffer and returns their number.
 * buffer must hold 64 bytes; never more than 64 are written, even when a board's count byte
 * claims more. Returns 0 and leaves buffer untouched when no packet is queued; a packet whose
 * count is 0 also gives 0 (and is removed). Never waits for the board. buffer NULL: returns 0
 * and leaves the packet queued.
 */
HBV_API int32_t __cdecl GetPacketHBV7(uint8_t* buffer);

/* The library's version: 0x0300 (3.00); major in the high byte. Needs no Init. */
HBV_API uint16_t __cdecl GetDllVersionHBV7(void);

/* Stores the driver version 0x0300 in *version and returns 1; with version NULL stores nothing
 * and returns 0. Needs no Init. */
HBV_API uint8_t __cdecl GetDrvVersionHBV7(uint16_t* version);

/*
 * Stops the library's thread(s), closes the board and releases every packet still queued.
 * Returns once the threads have ended, which is at once in every state: a read or a write
 * waiting for the board is cancelled, and the pause after a failed read is cut short. Only a
 * search for the board that is already under way is finished first (milliseconds). With no
 * object it does nothing.
 */
HBV_API void __cdecl DoneHBV7(void);

/* ---- HBV5.dll (board product id 0x000F) ----
 * The same functions as above, with these differences: Write takes a block of 24 bytes, and
 * a second library thread sends it at once rather than after a read attempt; GetDllVersion
 * returns 0x0301 (3.01); Done waits for both threads. */

HBV_API void* __cdecl InitHBV5(void* window, uint32_t message);
HBV_API uint8_t __cdecl WriteHBV5(const uint8_t* data);
HBV_API uint8_t __cdecl QueryVersionHBV5(void);
HBV_API uint8_t __cdecl WriteEEPROMHBV5(const uint8_t* data, uint8_t address, uint8_t count);
HBV_API uint8_t __cdecl ReadEEPROMHBV5(uint8_t address, uint8_t count);
HBV_API uint8_t __cdecl EnterBootloaderHBV5(void);
HBV_API int32_t __cdecl GetPacketHBV5(uint8_t* buffer);
HBV_API uint16_t __cdecl GetDllVersionHBV5(void);
HBV_API uint8_t __cdecl GetDrvVersionHBV5(uint16_t* version);
HBV_API void __cdecl DoneHBV5(void);

#ifdef __cplusplus
}
#endif

#endif /* HBV_H */
