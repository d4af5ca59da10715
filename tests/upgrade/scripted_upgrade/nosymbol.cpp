// A library in the upgrade library's place that lacks its entry point.
extern "C" __attribute__((visibility("default"))) int upgrade_version()
{
    return 1;
}
