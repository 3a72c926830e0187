/* The stand-in DevToolsFoundation framework: loaded second by the simulator
 * bridge; only has to be a real loadable library. */
__attribute__((visibility("default"))) const char *DevToolsFoundationBundleIdentifier(void)
{
    return "com.apple.DevToolsFoundation";
}
