/*
 * Asks the user for the identification number, then sends a file as a print
 * job with the number in the job's information.
 *
 *     send_with_number FILE [TITLE]
 *
 * Build it against the installed library:
 *
 *     cc send_with_number.c $(pkg-config --cflags --libs mossvane-client)
 */
#if !defined(_WIN32)
#define _DEFAULT_SOURCE /* explicit_bzero */
#endif

#include <mossvane/client.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#if defined(_WIN32)
#include <windows.h>
#define wipe(buffer, size) SecureZeroMemory((buffer), (size))
#else
/* A memset of a buffer that is not read again may be left out by the compiler. */
#define wipe(buffer, size) explicit_bzero((buffer), (size))
#endif

/* Two minutes for the user to type the number; ten seconds for the rest. */
#define NUMBER_TIMEOUT_MS 120000u
#define JOB_TIMEOUT_MS 10000u

static int fail(const char* what, mossvane_status status) {
    fprintf(stderr, "send_with_number: %s: %s\n", what, mossvane_strerror(status));
    return 1;
}

static mossvane_status send_file(FILE* file, mossvane_job* job) {
    char piece[8192];
    size_t got;
    while ((got = fread(piece, 1, sizeof piece, file)) > 0) {
        mossvane_status status = mossvane_job_write(job, piece, got);
        if (status != MOSSVANE_OK) return status;
    }
    return ferror(file) ? MOSSVANE_SYSTEM_ERROR : MOSSVANE_OK;
}

/* How many bytes of well-formed UTF-8 start at text (0: none), so that a
 * file name of any bytes, such as a Latin-1 "R\xe9sum\xe9.pdf", still makes
 * a title the library takes. */
static size_t utf8_sequence(const unsigned char* text) {
    unsigned char lowest = 0x80, highest = 0xBF;
    size_t length, i;
    if (text[0] < 0x80) return 1;
    if (text[0] >= 0xC2 && text[0] <= 0xDF)
        length = 2;
    else if (text[0] >= 0xE0 && text[0] <= 0xEF)
        length = 3;
    else if (text[0] >= 0xF0 && text[0] <= 0xF4)
        length = 4;
    else
        return 0;
    /* No overlong forms, no surrogates, nothing above U+10FFFF. */
    if (text[0] == 0xE0) lowest = 0xA0;
    if (text[0] == 0xED) highest = 0x9F;
    if (text[0] == 0xF0) lowest = 0x90;
    if (text[0] == 0xF4) highest = 0x8F;
    for (i = 1; i < length; ++i, lowest = 0x80, highest = 0xBF) {
        if (text[i] < lowest || text[i] > highest) return 0;
    }
    return length;
}

/* The name as a title: every byte that is not well-formed UTF-8, and every
 * line break, becomes U+FFFD. The caller frees it. */
static char* make_title(const char* name) {
    static const char replacement[] = "\xEF\xBF\xBD";
    const unsigned char* in = (const unsigned char*)name;
    char* title = malloc(strlen(name) * 3 + 1);
    char* out = title;
    size_t length;
    if (title == NULL) return NULL;
    while (*in != '\0') {
        length = utf8_sequence(in);
        if (length == 0 || *in == '\r' || *in == '\n') {
            memcpy(out, replacement, 3);
            out += 3;
            in += 1;
        } else {
            memcpy(out, in, length);
            out += length;
            in += length;
        }
    }
    *out = '\0';
    return title;
}

int main(int argc, char** argv) {
    char number[MOSSVANE_NUMBER_SIZE];
    mossvane_job* job = NULL;
    mossvane_status status;
    FILE* file;
    char* title;

    if (argc < 2 || argc > 3) {
        fprintf(stderr, "usage: send_with_number FILE [TITLE]\n");
        return 2;
    }
    file = fopen(argv[1], "rb");
    if (file == NULL) {
        perror(argv[1]);
        return 2;
    }

    status = mossvane_get_number(number, sizeof number, NUMBER_TIMEOUT_MS);
    if (status != MOSSVANE_OK) {
        fclose(file);
        return fail("no identification number", status);
    }

    status = mossvane_job_open(&job, mossvane_new_job_number(), JOB_TIMEOUT_MS);
    if (status == MOSSVANE_OK) status = send_file(file, job);
    fclose(file);
    title = make_title(argc == 3 ? argv[2] : argv[1]);
    if (status == MOSSVANE_OK && title == NULL) status = MOSSVANE_OUT_OF_MEMORY;
    if (status != MOSSVANE_OK) {
        mossvane_job_abort(job);
        free(title);
        wipe(number, sizeof number);
        return fail("sending the job failed", status);
    }
    {
        const mossvane_job_info info[] = {
            {"PhoneNumber", number},
            {"Title", title},
        };
        status =
            mossvane_job_end(job, info, sizeof info / sizeof info[0], MOSSVANE_JOB_ADD_END_MARKER);
        /* Only a wrong argument leaves the job open: release it. */
        if (status == MOSSVANE_INVALID_ARGUMENT) mossvane_job_abort(job);
    }
    free(title);
    /* The number is no longer needed: leave no copy of it behind. */
    wipe(number, sizeof number);
    if (status != MOSSVANE_OK) return fail("the server did not take the job", status);
    printf("job sent\n");
    return 0;
}
