// A job library stand-in in two versions, so that a test can tell which copy a file holds
// and which one a loaded module still runs.
extern "C" __attribute__((visibility("default"))) int DownLoadTestVersion()
{
    return QV_LIB_VERSION;
}
