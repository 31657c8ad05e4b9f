/* The C contract's header compiles as C: a host view with its two tables, filled as a C host
   fills them. */
#include "host/k4_host_view.h"

static int addTimer(void* context, uint32_t periodMs, k4_callback callback, void* argument) {
  (void)context;
  (void)callback;
  (void)argument;
  return periodMs > 0 ? 1 : 0;
}

static void removeTimer(void* context, int id) {
  (void)context;
  (void)id;
}

static int runModal(void* context, const k4_dialog_controls* controls) {
  (void)context;
  return controls->press_ok(controls->context) ? K4_DIALOG_OK : K4_DIALOG_CANCEL;
}

static const k4_dialog_table dialogTable = {K4_HOST_VIEW_VERSION, sizeof(k4_dialog_table), 0,
                                            runModal, 0};

k4_host_view k4HostViewCCheck = {
    K4_HOST_VIEW_VERSION, sizeof(k4_host_view), 0, addTimer, removeTimer, 0, 0, 0, 0, &dialogTable};
