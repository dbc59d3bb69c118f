/* The C interface between a worker and a flash-download plugin ("NandMulDL.dll", "Emmc.dll",
 * "NorDL.dll", loaded at run time as libNandMulDL.so, libEmmc.so, libNorDL.so).
 *
 * A plugin exports one function named "Download" of type FendrelDownloadFunction. The worker
 * loads the plugin right before the call and frees it right after, so several workers may be
 * inside one plugin at the same time: a plugin keeps its state per call.
 *
 * The call blocks the worker's thread until the download has ended. Every report goes through
 * `report` on that same thread, with `context` passed back unchanged; the report codes and what
 * the worker makes of them are listed in engine/flash_reports.h. The function returns non-zero
 * when the download succeeded and 0 when it failed (after reporting why). No C++ exception may
 * leave the function, and the report function never throws into the plugin.
 *
 * What the plugin receives, argument by argument:
 *  port            the worker's open serial port: a platform::SerialPort (platform/serial_port.h)
 *                  that stays open and owned by the worker for the whole call. The plugin reads
 *                  and writes it through its Read, WaitReadable and Write; it never closes or
 *                  frees it.
 *  stop_event      the worker's stop event, a platform::ManualResetEvent (platform/event.h). It
 *                  becomes signalled when the operator stops the worker; the plugin hands it to
 *                  every wait on the port (WaitReadable, Write), watches it in its own pauses
 *                  (Wait), and then ends with 0.
 *  erase_efs       non-zero: erase the EFS area.
 *  app_images      the app image path, then for every further image "*" and its path.
 *  boot_images     the boot image list, built the same way.
 *  version_folder  the folder of the image set.
 *  report, context the report function and the value to pass back to it.
 * The strings are NUL-terminated and valid for the duration of the call. */
#ifndef FENDREL_ENGINE_FLASH_DOWNLOAD_ABI_H
#define FENDREL_ENGINE_FLASH_DOWNLOAD_ABI_H

#ifdef __cplusplus
namespace platform {
class ManualResetEvent;
class SerialPort;
}  // namespace platform
typedef platform::SerialPort FendrelSerialPort;
typedef platform::ManualResetEvent FendrelStopEvent;
extern "C" {
#else
typedef struct FendrelSerialPort FendrelSerialPort;
typedef struct FendrelStopEvent FendrelStopEvent;
#endif

/* One report of a plugin: a code and three numbers whose meaning depends on the code. */
typedef void (*FendrelReportFunction)(int code, int b, int c, int d, void* context);

typedef int (*FendrelDownloadFunction)(FendrelSerialPort* port, FendrelStopEvent* stop_event,
                                       int erase_efs, const char* app_images,
                                       const char* boot_images, const char* version_folder,
                                       FendrelReportFunction report, void* context);

/* The name of the exported function. */
#define FENDREL_DOWNLOAD_EXPORT "Download"

#ifdef __cplusplus
}
#endif

#endif
