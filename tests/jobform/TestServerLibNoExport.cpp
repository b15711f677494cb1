// A server library that lacks GetSvrController.

extern "C" __attribute__((visibility("default"))) int NotTheController()
{
    return 0;
}
