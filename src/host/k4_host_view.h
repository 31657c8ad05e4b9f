/* The Linux host view: what a host hands to InitControl as its fourth argument, in C.

   On Linux the host's "view" is not a window but the host's event loop. The host fills one
   k4_host_view and passes its address as InitControl's `view` argument; the plug-in registers its
   25 ms timer and its file-descriptor watches there and never starts a thread of its own. Only C
   types cross here, in both directions, so a host may be written in any language that can call
   and be called through C function pointers (C, C++ built by another compiler, Python ctypes, a
   LinuxCNC HAL component).

   A host may also stand in for the pendant (k4_device_table) or for the configuration dialog
   (k4_dialog_table). Without them the plug-in uses its own hidraw services and its terminal view.

   Rules for every function below, unless its own comment says otherwise:
   - The plug-in calls it on the host's thread (the thread that called InitControl), from inside
     an export or from inside one of the host's own calls of a plug-in callback (a timer, a watch,
     a notification). The host must not call it from another thread.
   - It must return promptly: the plug-in holds the host's thread while it waits.
   - It may call the plug-in's exports (StopPlug included); the plug-in is built for that.
   - `context` is the `context` member of the table it came from, handed back unchanged; the
     plug-in never reads through it.
   - A NULL function pointer in an optional member means "not offered". A NULL in a required one
     makes the whole table unusable: the plug-in then behaves as without it.
   - Every pointer the host hands over (the view, its tables, their contexts) must stay valid
     until StopPlug has returned, or until the module is unloaded.

   Versions: `version` is K4_HOST_VIEW_VERSION as the host was built, `size` the sizeof of the
   struct as the host was built. A later version only appends members; the plug-in reads a member
   only when `size` covers it, and takes a missing one as NULL. A version the plug-in does not
   know (0, or above its own) makes the table unusable. */
#ifndef K4_HOST_VIEW_H
#define K4_HOST_VIEW_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define K4_HOST_VIEW_VERSION 1

/* ---- Device services ------------------------------------------------------------------------ */

/* A device handle as the host's device table hands it out; K4_INVALID_HANDLE when none. */
typedef intptr_t k4_handle;
#define K4_INVALID_HANDLE (-1)

/* The ids the plug-in looks for: a stand-in pendant's attributes answer these. */
#define K4_PENDANT_VENDOR_ID 0x04D8
#define K4_PENDANT_PRODUCT_ID 0xFCE5

/* The pendant's reports: 8 bytes in (report id first), 5 bytes out (a 0 first). */
#define K4_INPUT_REPORT_SIZE 8
#define K4_OUTPUT_REPORT_SIZE 5

/* Device-change events and the device type they carry (the values of the Windows messages). */
#define K4_DEVICE_ARRIVAL 0x8000
#define K4_DEVICE_REMOVE_COMPLETE 0x8004
#define K4_DEVICE_TYPE_INTERFACE 5

/* What became of one output report (write_report). SENT: written, or handed on to be written
   without waiting. BUSY: the previous report is still pending, this one is skipped. FAILED: the
   write failed, or a pending one was given up; the pendant is taken as lost. */
#define K4_WRITE_SENT 0
#define K4_WRITE_BUSY 1
#define K4_WRITE_FAILED 2

/* The plug-in's receiver of device changes. The host calls it on the host's thread, never from
   inside a device-table call the plug-in is making, with `sink` as register_notifications was
   given it, `event` K4_DEVICE_ARRIVAL or K4_DEVICE_REMOVE_COMPLETE, `device_type`
   K4_DEVICE_TYPE_INTERFACE and `name` the interface path (the host keeps it valid during the
   call only). The plug-in may call device-table functions and exports from inside it. */
typedef void (*k4_device_sink)(void* sink, uint32_t event, uint32_t device_type, const char* name);

typedef struct k4_device_table {
  uint32_t version; /* K4_HOST_VIEW_VERSION */
  uint32_t size;    /* sizeof(k4_device_table) */
  void* context;

  /* Enumeration of the present HID interfaces, in the host's order. The plug-in calls
     begin_enumeration, then interface_path with index 0, 1, 2, ... until it returns -1 or the
     plug-in found what it looks for, then end_enumeration. Required. */
  void (*begin_enumeration)(void* context);
  /* Writes interface `index`'s path into `buffer` as snprintf does (at most capacity - 1
     characters and a NUL) and returns the path's full length; the plug-in asks again with a
     larger buffer when that is not below `capacity`. -1: no such interface, the end. Required. */
  int (*interface_path)(void* context, uint32_t index, char* buffer, size_t capacity);
  void (*end_enumeration)(void* context); /* Required. */

  /* Opens `path` (NUL-terminated) without access rights, only to ask for its attributes. Returns
     a handle, or K4_INVALID_HANDLE. Required. */
  k4_handle (*open_probe)(void* context, const char* path);
  /* The vendor and product ids of a probe handle: 1 and both written, or 0 (nothing written).
     Required. */
  int (*attributes)(void* context, k4_handle probe, uint16_t* vendor_id, uint16_t* product_id);
  /* Opens `path` for reading input reports / for writing output reports. Neither open nor any
     later write may ever block the host's thread on the device. K4_INVALID_HANDLE on failure.
     Required. */
  k4_handle (*open_read)(void* context, const char* path);
  k4_handle (*open_write)(void* context, const char* path);
  /* Closes any handle the table handed out; cancels a pending write. Required. */
  void (*close)(void* context, k4_handle handle);

  /* Reads one whole input report into `report`, waiting at most `timeout_ms` (the plug-in asks
     for 5). 1: a report was written to `report`; 0: none within the wait, or the handle is dead
     (`report` untouched). A report that arrives after the wait is delivered by a later call.
     Required. */
  int (*read_report)(void* context, k4_handle handle, uint8_t report[K4_INPUT_REPORT_SIZE],
                     int timeout_ms);
  /* Writes one output report without waiting for the device (about a millisecond at most). At
     most one write is pending per handle. Returns K4_WRITE_SENT, K4_WRITE_BUSY or
     K4_WRITE_FAILED; a write pending for about a second must be given up as K4_WRITE_FAILED.
     Required. */
  int (*write_report)(void* context, k4_handle handle, const uint8_t report[K4_OUTPUT_REPORT_SIZE]);

  /* Asks for arrival and removal notifications of HID interfaces: from now on the host calls
     `deliver(sink, ...)` for each one, on its thread (see k4_device_sink). 1: registered; 0: not
     offered or failed (the plug-in then finds a pendant only at start-up). Optional (NULL: no
     notifications). */
  int (*register_notifications)(void* context, k4_device_sink deliver, void* sink);
  /* Withdraws the registration made with `sink`; after it returns the host never calls that
     sink again. Optional, but required when register_notifications is given. */
  void (*unregister_notifications)(void* context, void* sink);
} k4_device_table;

/* ---- Dialog view ---------------------------------------------------------------------------- */

/* How a dialog ended (run_modal). */
#define K4_DIALOG_OK 1
#define K4_DIALOG_CANCEL 2

/* The configuration dialog's controls, handed BY the plug-in to the host's run_modal and valid
   only during that call. The host edits them as a user would, on its thread, and never keeps
   the pointer. Controls are addressed by the setting key they edit, as the profile names it
   ("StepSize1", "Vel", "Macro1", "StepJogRate", "SingleMode", "AutoMode", ...). Each function
   returns 1 when done, 0 when the key names no control of that kind (nothing changed). */
typedef struct k4_dialog_controls {
  uint32_t version; /* K4_HOST_VIEW_VERSION */
  uint32_t size;    /* sizeof(k4_dialog_controls) */
  void* context;    /* the plug-in's; hand it back unchanged */

  /* Types `text` (NUL-terminated) into the key's field; on a list, the entry with exactly this
     text becomes the selection, else none. */
  int (*set_text)(void* context, const char* key, const char* text);
  /* Selects list entry `position` (0-based); a position outside the list leaves none selected. */
  int (*select_entry)(void* context, const char* key, int position);
  /* Sets a check box ("AutoMode") to `checked` (0 or not), or checks the radio button of the
     pair that gives the key that value ("SingleMode": 0 the first button, else the second). */
  int (*set_check)(void* context, const char* key, int checked);
  /* Presses OK: 1 when the dialog closed with OK (the settings are stored), 0 when it stays
     open (a field without a number; the message reaches show_message first). After a 1 the
     host calls nothing more and returns K4_DIALOG_OK from run_modal. */
  int (*press_ok)(void* context);
} k4_dialog_controls;

typedef struct k4_dialog_table {
  uint32_t version; /* K4_HOST_VIEW_VERSION */
  uint32_t size;    /* sizeof(k4_dialog_table) */
  void* context;

  /* Runs the configuration dialog modally over `controls` (filled with the current settings)
     and returns K4_DIALOG_OK when press_ok returned 1, else K4_DIALOG_CANCEL (nothing stored).
     The plug-in calls it from Config, on the host's thread. The host may run its event loop
     inside it (the report cycle then keeps running, as under the Windows dialog). Required. */
  int (*run_modal)(void* context, const k4_dialog_controls* controls);
  /* Shows a message of the dialog ("Please enter an integer."), NUL-terminated and valid during
     the call only; the plug-in calls it from inside run_modal. Optional (NULL: not shown). */
  void (*show_message)(void* context, const char* text);
} k4_dialog_table;

/* ---- The host view -------------------------------------------------------------------------- */

/* A plug-in function the host calls back with the argument it was registered with. */
typedef void (*k4_callback)(void* argument);

typedef struct k4_host_view {
  uint32_t version; /* K4_HOST_VIEW_VERSION */
  uint32_t size;    /* sizeof(k4_host_view) */
  void* context;

  /* A periodic timer: the host calls `callback(argument)` every `period_ms` on its thread, the
     first time one period from now. A late timer may fire once for several missed periods. The
     callback may remove this or any timer, and may call the exports. Returns an id above 0, or 0
     on failure (no timer). Required. */
  int (*add_timer)(void* context, uint32_t period_ms, k4_callback callback, void* argument);
  /* Removes a timer; after it returns its callback is never called again, even by a loop that is
     dispatching right now. An unknown id is ignored. Required. */
  void (*remove_timer)(void* context, int id);
  /* Calls `callback(argument)` on the host's thread whenever `fd` is readable (level-triggered:
     again while it stays readable). The host never reads, closes or owns `fd`. Returns an id
     above 0, or 0 on failure. Optional (NULL: the plug-in's hidraw services cannot follow
     arrival and removal). */
  int (*watch_fd)(void* context, int fd, k4_callback callback, void* argument);
  /* Removes a watch, as remove_timer does a timer. Required when watch_fd is given. */
  void (*unwatch_fd)(void* context, int id);

  /* A nested modal run: the host runs its loop, timers and watches included, until
     `done(argument)` returns non-zero (asked after each dispatch), then returns 0; -1 when it
     cannot nest. For a dialog of the plug-in that wants the report cycle to keep running while
     it waits for the user. Optional (NULL: such a dialog blocks the loop while it is open). */
  int (*run_nested)(void* context, int (*done)(void* argument), void* argument);

  /* Device services that stand in for the pendant (a virtual or a relayed one). NULL: the
     plug-in's own hidraw services. Optional. */
  const k4_device_table* devices;
  /* A dialog view that stands in for the configuration dialog. NULL: the plug-in's terminal
     view on the process's standard streams. Optional. */
  const k4_dialog_table* dialog;
} k4_host_view;

#ifdef __cplusplus
}
#endif

#endif /* K4_HOST_VIEW_H */
