// Another vendor's module in the host's process, built with MinGW and its shared run-time
// (libgcc_s), as the host's own extensions may be. It throws and catches, so its run-time's
// unwinder is in use beside the plug-in's.
extern "C" __declspec(dllexport) int foreign_throw_and_catch(int value) {
  try {
    if (value >= 0)
      throw value;
  } catch (int caught) {
    return caught + 1;
  }
  return -1;
}
