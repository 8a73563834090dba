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
#include <mossvane/client.h>
#include <stdio.h>
#include <string.h>

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

int main(int argc, char** argv) {
    char number[MOSSVANE_NUMBER_SIZE];
    mossvane_job* job = NULL;
    mossvane_status status;
    FILE* file;

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
    if (status != MOSSVANE_OK) {
        mossvane_job_abort(job);
        memset(number, 0, sizeof number);
        return fail("sending the job failed", status);
    }
    {
        const mossvane_job_info info[] = {
            {"PhoneNumber", number},
            {"Title", argc == 3 ? argv[2] : argv[1]},
        };
        status = mossvane_job_end(job, info, sizeof info / sizeof info[0],
                                  MOSSVANE_JOB_ADD_END_MARKER);
    }
    /* The number is no longer needed: leave no copy of it behind. */
    memset(number, 0, sizeof number);
    if (status != MOSSVANE_OK) return fail("the server did not take the job", status);
    printf("job sent\n");
    return 0;
}
