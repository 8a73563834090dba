/*
 * The Mossvane client library: talks to the current user's Mossvane server
 * over the user's pipe (a Unix socket on Linux, a named pipe on Windows).
 *
 *   - mossvane_get_number asks the user for the identification number in the
 *     server's dialog;
 *   - mossvane_request sends any request text and returns the answer;
 *   - mossvane_job_open / _write / _end hand a print job to the server, which
 *     stores it with its information entries.
 *
 * Texts are UTF-8. Every call opens its own connection; nothing is shared
 * between calls, so any function may be called from any thread at any time
 * (a job handle by one thread at a time). The library keeps no global state
 * but a count of the job numbers it gave out, never writes to standard
 * output or standard error, and leaves the caller's errno as it was. The
 * number is written only into the caller's buffer: every copy the library
 * makes on the way is wiped before its memory is freed.
 *
 * The library talks only to a server of the calling user: on Linux the
 * runtime folder and the socket must be the user's own, others may not write
 * to the folder, and the process behind the socket must run as the caller's
 * effective user; on Windows the pipe's server must run as the user or the
 * system. Anything else is MOSSVANE_UNTRUSTED_SERVER, at once and with
 * nothing sent.
 *
 * On Linux the calls that wait (all but mossvane_strerror,
 * mossvane_new_job_number and mossvane_job_abort) are cancellation points
 * for deferred cancellation: a cancelled call closes its connection, wipes
 * what it held and unwinds. A job whose mossvane_job_write or mossvane_job_end
 * was cancelled is still the caller's to release with mossvane_job_abort.
 */
#ifndef MOSSVANE_CLIENT_H
#define MOSSVANE_CLIENT_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#if defined(MOSSVANE_CLIENT_BUILD)
#define MOSSVANE_API __declspec(dllexport)
#else
#define MOSSVANE_API __declspec(dllimport)
#endif
#elif defined(__GNUC__)
#define MOSSVANE_API __attribute__((visibility("default")))
#else
#define MOSSVANE_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* What every call returns; mossvane_strerror gives a text for each. */
typedef enum mossvane_status {
    MOSSVANE_OK = 0,
    MOSSVANE_CANCELLED = 1,        /* the user gave no number (or no dialog could be shown) */
    MOSSVANE_INVALID_ARGUMENT = 2, /* a null pointer, ill-formed UTF-8, a text too long */
    MOSSVANE_BUFFER_TOO_SMALL = 3, /* the answer does not fit the buffer given */
    MOSSVANE_NO_SERVER = 4,        /* no server of this user took the connection in time */
    MOSSVANE_BUSY = 5,             /* the server's pipe stayed busy */
    MOSSVANE_TIMEOUT = 6,          /* the server did not answer or take data in time */
    MOSSVANE_DISCONNECTED = 7,     /* the server ended the connection */
    MOSSVANE_BAD_ANSWER = 8,       /* the server's answer is not what it should be */
    MOSSVANE_NO_END_MARKER = 9,    /* the job's data lacks the end-of-job marker */
    MOSSVANE_OUT_OF_MEMORY = 10,
    MOSSVANE_SYSTEM_ERROR = 11,     /* any other failure of the system */
    MOSSVANE_UNTRUSTED_SERVER = 12, /* the user's pipe is served by a process of another
                                       user: nothing was sent to it */
    MOSSVANE_NOT_STORED = 13,       /* the server did not store the job (its name was taken,
                                       or its files could not be written) */
    MOSSVANE_ACCESS_DENIED = 14,    /* the user's pipe, or its folder, may not be opened */
    MOSSVANE_NAME_TOO_LONG = 15     /* the path of the user's pipe is too long for a socket */
} mossvane_status;

/* A timeout without a limit. */
#define MOSSVANE_WAIT_FOREVER UINT32_C(0xFFFFFFFF)

/* Bytes that always hold a number: up to 20 digits and the terminating null. */
#define MOSSVANE_NUMBER_SIZE 21
/* Bytes that always hold an answer: 2051 UTF-16 characters as UTF-8, and the null. */
#define MOSSVANE_ANSWER_SIZE 6154

/* A static English text for the status; never null. */
MOSSVANE_API const char* mossvane_strerror(mossvane_status status);

/*
 * Asks the user for the identification number (the server shows its dialog)
 * and writes the 4 to 20 digits and a null into number (size bytes). A size
 * below MOSSVANE_NUMBER_SIZE is MOSSVANE_BUFFER_TOO_SMALL before anything is
 * asked. timeout_ms bounds the whole call, the user's typing included; 0 asks
 * nothing and gives MOSSVANE_TIMEOUT. On any result other than MOSSVANE_OK,
 * all size bytes of number are zero (if size > 0).
 */
MOSSVANE_API mossvane_status mossvane_get_number(char* number, size_t size, uint32_t timeout_ms);

/*
 * Sends request (a parameter text such as "@=GETINFO"; at most 2051 UTF-16
 * characters) and writes the server's answer into answer (size bytes) as
 * UTF-8 with a null. length, if not null, receives the answer's length in
 * bytes without the null (also with MOSSVANE_BUFFER_TOO_SMALL). After
 * "@=Exit" the server may end before it answers: MOSSVANE_DISCONNECTED.
 * timeout_ms 0 sends nothing and gives MOSSVANE_TIMEOUT, since no answer
 * could be waited for; MOSSVANE_TIMEOUT after the request was sent means the
 * server may still act on it.
 */
MOSSVANE_API mossvane_status mossvane_request(const char* request, char* answer, size_t size,
                                              size_t* length, uint32_t timeout_ms);

/* A print job on its way to the server. */
typedef struct mossvane_job mossvane_job;

/* One entry of the job information: key (not empty, no "=") and value, on one line. */
typedef struct mossvane_job_info {
    const char* key;
    const char* value;
} mossvane_job_info;

/* mossvane_job_end: add the end-of-job marker when the data lacks it. Other
 * flag bits are refused (MOSSVANE_INVALID_ARGUMENT), so that they can be
 * given a meaning later. */
#define MOSSVANE_JOB_ADD_END_MARKER 1u

/*
 * A job number that other jobs of the user are unlikely to share within one
 * second. The server names a job's files by the second and the job number
 * modulo 10000 only, and does not store a job whose name is taken: jobs of
 * one process differ there for 10000 numbers in a row, jobs of different
 * processes are unlikely to meet there.
 */
MOSSVANE_API uint32_t mossvane_new_job_number(void);

/*
 * Connects to the server and starts job job_number (only job_number modulo
 * 10000 names the job's files). timeout_ms bounds the connecting and, later,
 * each mossvane_job_write and mossvane_job_end call. *job receives the
 * handle, or null on failure.
 */
MOSSVANE_API mossvane_status mossvane_job_open(mossvane_job** job, uint32_t job_number,
                                               uint32_t timeout_ms);

/* Print data, any amount; it goes out in full pieces. */
MOSSVANE_API mossvane_status mossvane_job_write(mossvane_job* job, const void* data, size_t size);

/*
 * Ends the job with count information entries and waits until the server has
 * stored it: MOSSVANE_OK only then. Every entry and the flags are checked
 * first: on MOSSVANE_INVALID_ARGUMENT (info null with count > 0, a null or
 * ill-formed text, an empty key, "=" in a key, a line break, entries too
 * large for one message, an unknown flag) nothing was sent and the job stays
 * open, to be ended again or aborted. Any other result releases the job.
 * MOSSVANE_NOT_STORED: the server did not store the job;
 * MOSSVANE_NO_END_MARKER: it did not, because the data lacks the marker (and
 * flags did not ask to add it). MOSSVANE_TIMEOUT and MOSSVANE_SYSTEM_ERROR
 * mean the outcome is unknown: the server may have stored the job, so
 * sending it again may print it twice.
 */
MOSSVANE_API mossvane_status mossvane_job_end(mossvane_job* job, const mossvane_job_info* info,
                                              size_t count, unsigned flags);

/*
 * Drops the job unfinished and releases it; null does nothing. The server
 * keeps what it got as a job file without information: the data sent so far,
 * which is the data of the earlier mossvane_job_write calls in whole pieces
 * of 4100 bytes (the last bytes the library still held, fewer than 4100, are
 * dropped).
 */
MOSSVANE_API void mossvane_job_abort(mossvane_job* job);

#ifdef __cplusplus
}
#endif

#endif /* MOSSVANE_CLIENT_H */
