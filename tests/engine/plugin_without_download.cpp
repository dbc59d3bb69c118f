// A plugin that loads but exports no "Download", as a wrong or damaged library file would.
extern "C" int NotDownload() {
    return 1;
}
