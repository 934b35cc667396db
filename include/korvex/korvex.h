/* korvex.h: the C interface of the korvex library, for hosts written in C or any language with a C
 * foreign-function interface (the Python module is built on it). One opaque handle stands for one
 * korvex_dll object; every member of that object is a function here with the same arguments.
 * Nothing is ever thrown across this boundary: a fault inside a member comes back as an error code,
 * and its kind and message stay readable from the handle until its next call. Link with -lkorvex. */
#ifndef KORVEX_KORVEX_H
#define KORVEX_KORVEX_H

#include <stddef.h>
#include <stdint.h>

#include "korvex/export.h"
#include "korvex/member_values.h"
#include "korvex/version.h"

#ifdef __cplusplus
extern "C" {
#endif

/* One korvex_dll object. All objects of a thread share that thread's machine state. A handle is an
 * opaque token, not a pointer: a handle that was destroyed, that korvex_create never gave, or that
 * another thread created is refused with KORVEX_FAULT_ARGUMENT by every function that takes one. */
typedef struct korvex_object korvex_object;

/* What went wrong. 1-9 are the library's own faults (korvex::FaultKind); the rest belong to the C
 * boundary. */
typedef enum korvex_fault_kind {
    KORVEX_FAULT_NONE = 0,
    KORVEX_FAULT_INDEX = 1,        /* an index outside its table */
    KORVEX_FAULT_OVERFLOW = 2,     /* a value that does not fit its target type */
    KORVEX_FAULT_DIVISION = 3,     /* division by zero (also: the clock read before initialization) */
    KORVEX_FAULT_FLOAT = 4,        /* NaN or infinity that would reach an integer or a device */
    KORVEX_FAULT_EOF = 5,          /* input ended before a value was read */
    KORVEX_FAULT_TYPE = 6,         /* a value of the wrong type in a file */
    KORVEX_FAULT_FILE = 7,         /* a file could not be opened or read */
    KORVEX_FAULT_DEVICE = 8,       /* a driver or serial control refused an operation */
    KORVEX_FAULT_UNAVAILABLE = 9,  /* not available in this build */
    KORVEX_FAULT_ARGUMENT = 10,    /* a null, unknown or foreign handle, a null pointer, a count larger than
                                      memory, an unknown platform name, no simulation */
    KORVEX_FAULT_MEMORY = 11,      /* out of memory */
    KORVEX_FAULT_INTERNAL = 12     /* any other failure inside the library (a bug: please report) */
} korvex_fault_kind;

/* Results. Every function returns an int32_t: a member's own status code (always within the 16-bit
 * range, Booleans -1/0) or 0 for functions without one; or, when the call failed, an error code at
 * or below KORVEX_ERROR_BASE that encodes the fault's kind. */
#define KORVEX_ERROR_BASE (-65536)
#define KORVEX_IS_ERROR(result) ((result) <= KORVEX_ERROR_BASE)
#define KORVEX_ERROR_KIND(result) ((korvex_fault_kind)(KORVEX_ERROR_BASE - (result)))

/* The short name of a kind: "index", "overflow", "division", "float", "eof", "type", "file",
 * "device", "unavailable", "argument", "memory", "internal"; "none" for 0. */
KORVEX_API const char* korvex_fault_kind_name(korvex_fault_kind kind);

/* The fault of the handle's last call (KORVEX_FAULT_NONE and "" after a call that succeeded). The
 * message stays valid until the handle's next call. For a handle the calling thread cannot use:
 * KORVEX_FAULT_ARGUMENT and why. */
KORVEX_API korvex_fault_kind korvex_fault_kind_of(const korvex_object* object);
KORVEX_API const char* korvex_fault_message(const korvex_object* object);
/* The same for the calling thread's last call of any function here (also those without a handle). */
KORVEX_API korvex_fault_kind korvex_last_fault_kind(void);
KORVEX_API const char* korvex_last_fault_message(void);
/* Sets the calling thread's last fault as a failed call would (KORVEX_FAULT_NONE clears it), for
 * libraries layered on this interface that report their own failures the same way, as the picture
 * library does. Returns the error code of kind (0 for KORVEX_FAULT_NONE); message may be NULL. */
KORVEX_API int32_t korvex_set_last_fault(korvex_fault_kind kind, const char* message);

/* The version of the library loaded at run time, "MAJOR.MINOR"; KORVEX_VERSION_STRING is the one of
 * the headers the host was compiled against. */
KORVEX_API const char* korvex_version(void);

/* ---- Messages and log ----
 * The machine asks the operator through message boxes (a text, a title, buttons and an icon) and
 * waits for the answer. By default a box goes to standard error in the operator's language and is
 * answered on the safe side: OK; Yes to "stop marking?", No to "reconnect?". A host that sets a
 * message callback shows the box itself and returns the operator's answer. */
typedef enum korvex_buttons {
    KORVEX_BUTTONS_OK = 0,     /* one OK button: the answer is KORVEX_ANSWER_OK */
    KORVEX_BUTTONS_YES_NO = 1  /* a question: KORVEX_ANSWER_YES or KORVEX_ANSWER_NO */
} korvex_buttons;
typedef enum korvex_icon { KORVEX_ICON_NONE = 0, KORVEX_ICON_INFO = 1, KORVEX_ICON_CRITICAL = 2 } korvex_icon;
typedef enum korvex_answer { KORVEX_ANSWER_OK = 0, KORVEX_ANSWER_YES = 1, KORVEX_ANSWER_NO = 2 } korvex_answer;

/* One message box. The strings are UTF-8 and valid during the callback only. */
typedef struct korvex_message {
    const char* text;   /* byte for byte what the machine shows (most texts are Chinese), as traces keep it */
    const char* shown;  /* the text in the operator's language (LANG, or the korvex program's --lang):
                           English with the original beside it in parentheses, or the original */
    const char* title;  /* "marking system" for most boxes; may be "" */
    int32_t buttons;    /* korvex_buttons */
    int32_t icon;       /* korvex_icon */
} korvex_message;

/* Called on the thread that runs the member, inside the member's call, for every box; returns a
 * korvex_answer. An answer the buttons do not offer is taken as the safe one (see above) and logged
 * as a warning. The callback must not call korvex functions on the same thread. */
typedef int32_t (*korvex_message_cb)(const korvex_message* message, void* user_data);
/* Sets the calling thread's message callback; NULL restores the default (standard error). Also
 * takes over a C++ host's operator interface on this thread. */
KORVEX_API int32_t korvex_set_message_cb(korvex_message_cb callback, void* user_data);

typedef enum korvex_log_level {
    KORVEX_LOG_LEVEL_NONE = 0,
    KORVEX_LOG_LEVEL_ERROR = 1,    /* a function returned a fault: "KIND fault: MESSAGE" */
    KORVEX_LOG_LEVEL_WARNING = 2,  /* a message callback gave an answer its box does not offer */
    KORVEX_LOG_LEVEL_INFO = 3      /* a message box and its answer: "message "TITLE": SHOWN -> ANSWER" */
} korvex_log_level;
/* Receives each log line (UTF-8, no line end) at its level, on the thread the event happens on. */
typedef void (*korvex_log_cb)(korvex_log_level level, const char* message, void* user_data);
/* Sets the process's log callback (all threads; NULL: no log, the default). Lines up to `level`
 * (a korvex_log_level; any other number is an argument fault) are passed on
 * (KORVEX_LOG_LEVEL_NONE passes nothing). */
KORVEX_API int32_t korvex_set_log_cb(korvex_log_cb callback, int32_t level, void* user_data);

/* ---- Platform: set before the thread's first object, or between jobs ----
 * card: "simulated" (or NULL) for the simulated machine, whose marks the korvex_sim_* functions
 * read; "real" for the PCI card. clock: "virtual" (the simulated card's default: waits cost no wall
 * time) or "monotonic" (real microseconds; the real card's default); NULL for the default.
 * library_folder: the folder with grid files and font/; NULL or "" for the default (KORVEX_HOME,
 * else font/ beside the library, else the installed data folder). */
KORVEX_API int32_t korvex_set_platform(const char* card, const char* clock, const char* library_folder);
/* The library folder in force for the calling thread, as UTF-8. Writes at most size bytes including
 * the terminating NUL into buffer (may be NULL when size is 0); *length gets the full length. */
KORVEX_API int32_t korvex_library_folder(char* buffer, size_t size, size_t* length);

/* ---- Objects ---- */
KORVEX_API int32_t korvex_create(korvex_object** object);
/* Destroying touches nothing on the machine (no output is reset). NULL is ignored (returns 0). Only
 * the thread that created an object destroys it; a handle that is unknown (destroyed already, made
 * up) or another thread's is refused with an argument error and left as it was. The objects a
 * thread still holds when it ends are destroyed with it. */
KORVEX_API int32_t korvex_destroy(korvex_object* object);

/* ---- The 22 members, in interface slot order ----
 * Arrays are a pointer and an element count; strings are NUL-terminated UTF-8. */
/** Slot 1: korvex_dll::Name for C; the member's reference says what the arguments mean. The name goes into
 * buffer as korvex_library_folder writes: at most size bytes with the NUL, *length the full length.
 * Returns the member's result, or an error code (KORVEX_IS_ERROR) with the gate closed. */
KORVEX_API int32_t korvex_get_Name(const korvex_object* object, char* buffer, size_t size, size_t* length);
/** Slot 2: korvex_dll::Name for C; the member's reference says what the arguments mean. value:
 * NUL-terminated UTF-8. Returns the member's result, or an error code (KORVEX_IS_ERROR) with the gate closed. */
KORVEX_API int32_t korvex_set_Name(korvex_object* object, const char* value);
/** Slot 3: korvex_dll::File_no_begin for C; the member's reference says what the arguments mean. *value
 * gets the property. Returns the member's result, or an error code (KORVEX_IS_ERROR) with the gate closed. */
KORVEX_API int32_t korvex_get_File_no_begin(const korvex_object* object, int32_t* value);
/** Slot 4: korvex_dll::File_no_begin for C; the member's reference says what the arguments mean. Returns
 * the member's result, or an error code (KORVEX_IS_ERROR) with the gate closed. */
KORVEX_API int32_t korvex_set_File_no_begin(korvex_object* object, int32_t value);
/** Slot 5: korvex_dll::DebugID for C; the member's reference says what the arguments mean. *value gets the
 * serial number. Returns the member's result, or an error code (KORVEX_IS_ERROR) with the gate closed. */
KORVEX_API int32_t korvex_get_DebugID(const korvex_object* object, int32_t* value);
/** Slot 6: korvex_dll::e_isMarking for C; the member's reference says what the arguments mean. Returns
 * KORVEX_TRUE or KORVEX_FALSE. Returns the member's result, or an error code (KORVEX_IS_ERROR) with the
 * gate closed. */
KORVEX_API int32_t korvex_e_isMarking(const korvex_object* object);
/** Slot 7: korvex_dll::e_PrintEarMark for C; the member's reference says what the arguments mean. Arrays
 * are a pointer and an element count; strNumber1 and strNumber2 are arrays of NUL-terminated UTF-8
 * strings. Returns the member's result, or an error code (KORVEX_IS_ERROR) with the gate closed. */
KORVEX_API int32_t korvex_e_PrintEarMark(korvex_object* object, const uint8_t* imageData, size_t imageData_count,
                              const char* const* strNumber1, size_t strNumber1_count,
                              const char* const* strNumber2, size_t strNumber2_count,
                              const uint8_t* arr_Size, size_t arr_Size_count);
/** Slot 8: korvex_dll::e_Initlize for C; the member's reference says what the arguments mean. Returns the
 * member's result, or an error code (KORVEX_IS_ERROR) with the gate closed. */
KORVEX_API int32_t korvex_e_Initlize(korvex_object* object);
/** Slot 9: korvex_dll::e_Relese for C; the member's reference says what the arguments mean. Returns the
 * member's result, or an error code (KORVEX_IS_ERROR) with the gate closed. */
KORVEX_API int32_t korvex_e_Relese(korvex_object* object);
/** Slot 10: korvex_dll::e_setPrintInfo for C; the member's reference says what the arguments mean. Returns
 * 0 (the member's result is empty). Returns the member's result, or an error code (KORVEX_IS_ERROR) with
 * the gate closed. */
KORVEX_API int32_t korvex_e_setPrintInfo(korvex_object* object, const char* strTempletFileName);
/** Slot 11: korvex_dll::usb_laser_open for C; the member's reference says what the arguments mean. Returns
 * the member's result, or an error code (KORVEX_IS_ERROR) with the gate closed. */
KORVEX_API int32_t korvex_usb_laser_open(korvex_object* object, float laserpower, float laserfre, int16_t on_off);
/** Slot 12: korvex_dll::Marking_init_pci for C; the member's reference says what the arguments mean. rs_n:
 * rs_n_count bytes. Returns the member's result, or an error code (KORVEX_IS_ERROR) with the gate closed. */
KORVEX_API int32_t korvex_Marking_init_pci(korvex_object* object, int16_t out_data0, int16_t out_data1, int16_t card,
                                int16_t LaserType, int16_t lnghead, const uint8_t* rs_n, size_t rs_n_count,
                                int16_t laser_sw);
/** Slot 13: korvex_dll::Marking_data for C; the member's reference says what the arguments mean. md is read
 * and may be written back (the stand-alone packer stores clamped values in it), also after a fault.
 * Returns the member's result, or an error code (KORVEX_IS_ERROR) with the gate closed. */
KORVEX_API int32_t korvex_Marking_data(korvex_object* object, double* md, size_t md_count);
/** Slot 14: korvex_dll::Marking_end for C; the member's reference says what the arguments mean. md is
 * copied back as for Marking_data. Returns the member's result, or an error code (KORVEX_IS_ERROR) with
 * the gate closed. */
KORVEX_API int32_t korvex_Marking_end(korvex_object* object, int32_t fileno, int32_t fileAll, int32_t MarkM, int32_t m_sel,
                           int32_t m_head, double* md, size_t md_count);
/** Slot 15: korvex_dll::Marking_run for C; the member's reference says what the arguments mean. Returns the
 * member's result, or an error code (KORVEX_IS_ERROR) with the gate closed. */
KORVEX_API int32_t korvex_Marking_run(korvex_object* object);
/** Slot 16: korvex_dll::Marking_stop for C; the member's reference says what the arguments mean. Returns
 * the member's result, or an error code (KORVEX_IS_ERROR) with the gate closed. */
KORVEX_API int32_t korvex_Marking_stop(korvex_object* object);
/** Slot 17: korvex_dll::Marking_para for C; the member's reference says what the arguments mean. Returns
 * the member's result, or an error code (KORVEX_IS_ERROR) with the gate closed. */
KORVEX_API int32_t korvex_Marking_para(korvex_object* object, float ms, float mms, int32_t tcf, int32_t tch, int32_t tof,
                            int32_t toh, double su, float laserpower, float laserfre, float lasermaxpower,
                            int32_t dr_time);
/** Slot 18: korvex_dll::Send_cal_data for C; the member's reference says what the arguments mean. Returns
 * the member's result, or an error code (KORVEX_IS_ERROR) with the gate closed. */
KORVEX_API int32_t korvex_Send_cal_data(korvex_object* object, int32_t lnghead);
/** Slot 19: korvex_dll::marking_start for C; the member's reference says what the arguments mean. Returns
 * the member's result, or an error code (KORVEX_IS_ERROR) with the gate closed. */
KORVEX_API int32_t korvex_marking_start(korvex_object* object);
/** Slot 20: korvex_dll::port_Out_bit for C; the member's reference says what the arguments mean. Returns
 * the member's result, or an error code (KORVEX_IS_ERROR) with the gate closed. */
KORVEX_API int32_t korvex_port_Out_bit(korvex_object* object, int16_t intBit, int16_t intV);
/** Slot 21: korvex_dll::port_In_Bit for C; the member's reference says what the arguments mean. Returns the
 * member's result, or an error code (KORVEX_IS_ERROR) with the gate closed. */
KORVEX_API int32_t korvex_port_In_Bit(korvex_object* object, int16_t intBit);
/** Slot 22: korvex_dll::Marking_DA for C; the member's reference says what the arguments mean. Returns the
 * member's result, or an error code (KORVEX_IS_ERROR) with the gate closed. */
KORVEX_API int32_t korvex_Marking_DA(korvex_object* object, double V, int16_t P);

/* ---- The simulated machine of the calling thread ----
 * Present after korvex_set_platform("simulated", ...), and installed by korvex_create on a thread
 * whose platform was never chosen. Without one these return KORVEX_FAULT_ARGUMENT errors. */
typedef enum korvex_mark_kind {
    KORVEX_MARK_LINE = 0,  /* the spot moved while the laser emitted */
    KORVEX_MARK_JUMP = 1,  /* the spot moved with the laser off */
    KORVEX_MARK_DOT = 2,   /* the laser emitted without the spot moving */
    KORVEX_MARK_AXIS = 3   /* the rotary axis stepped */
} korvex_mark_kind;

/* One mark, in signed D/A units of the scanner's two channels (channel 0 is x). */
typedef struct korvex_mark {
    int32_t kind;              /* korvex_mark_kind */
    int32_t x0, y0, x1, y1;    /* line/jump: from (x0, y0) to (x1, y1); dot: at (x0, y0) */
    int32_t steps;             /* axis: signed step count */
    double t0_us, t1_us;       /* machine time of its start and end in microseconds */
} korvex_mark;

/* Copies at most capacity marks into marks (may be NULL when capacity is 0); *count gets how many
 * there are in all. */
KORVEX_API int32_t korvex_sim_marks(korvex_mark* marks, size_t capacity, size_t* count);
/* Writes the marks as text, one per line ("line X0 Y0 X1 Y1", "jump ...", "dot X Y US", "axis N"). */
KORVEX_API int32_t korvex_sim_write_marks(const char* path);
/* Forgets the marks so far (a new job); the machine's spot, gate and axis stay where they are. */
KORVEX_API int32_t korvex_sim_clear_marks(void);
/* Drives input bit 0-15 of the card to level 0 or 1 (all inputs start at 1). */
KORVEX_API int32_t korvex_sim_set_input(int32_t bit, int32_t level);
/* *emitting gets 1 while the laser gate is open and the laser emits, else 0. */
KORVEX_API int32_t korvex_sim_laser_emitting(int32_t* emitting);
/* *time_us gets the machine time in microseconds. */
KORVEX_API int32_t korvex_sim_time_us(double* time_us);

#ifdef __cplusplus
}
#endif

#endif /* KORVEX_KORVEX_H */
