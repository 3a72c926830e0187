/* The stand-in DVTFoundation framework: the simulator bridge loads it before
 * CoreSimulator, so it only has to be a real loadable library. */
__attribute__((visibility("default"))) const char *DVTFoundationBundleIdentifier(void)
{
    return "com.apple.dt.DVTFoundation";
}
