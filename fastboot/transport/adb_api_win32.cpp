// SystemAdbApi on Windows: there the calls of AdbApi are the exports of AdbWinApi.dll itself,
// which this backend is to wrap one for one (the USB and TCP links of adb_link_*.cpp are not used
// there). It is not written yet; the Windows build of Brenlo comes with a later change. No other
// system compiles this file.
#ifdef _WIN32
#error "The AdbWinApi.dll backend of Brenlo's transport is not written yet."
#endif
