/*
 * A C99 caller of the library: the public headers compile as C, and an
 * Init/GetWave/Close cycle plus the tree printer work from C. Exits non-zero
 * on the first difference. Also run under valgrind to check for leaks and
 * invalid accesses.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "Halvorin_7314_Tx.h"
#include "IBIS_AMI_tree.h"
#include "Kestrom_AMI_Model.h"

static int failures = 0;

static void expect_text(const char *what, const char *actual, const char *expected) {
    if (actual == NULL || strcmp(actual, expected) != 0) {
        fprintf(stderr, "%s: expected \"%s\", got \"%s\"\n", what, expected,
                actual == NULL ? "(null)" : actual);
        ++failures;
    }
}

static void expect_long(const char *what, long actual, long expected) {
    if (actual != expected) {
        fprintf(stderr, "%s: expected %ld, got %ld\n", what, expected, actual);
        ++failures;
    }
}

int main(void) {
    double impulse[2 * 16] = {0.0};
    double wave[64];
    char parameters[] = "(Halvorin_7314_Tx (TX_Corner 1) (TX_Preemph 1))";
    char *params_out = NULL;
    char *msg = NULL;
    void *memory = NULL;
    char *joined = NULL;
    char *echo = NULL;
    Param entries[2];
    int i;

    impulse[0] = 1.0 / 1e-12;
    impulse[16] = 1.0 / 1e-12;
    for (i = 0; i < 64; ++i) {
        wave[i] = (i / 8) % 2 == 0 ? 0.5 : -0.5;
    }

    expect_long("AMI_Init",
                AMI_Init(impulse, 16, 1, 1e-12, 32e-12, parameters, &params_out, &memory, &msg), 1);
    if (msg == NULL || strncmp(msg, "**Info** Configured ", 20) != 0) {
        fprintf(stderr, "AMI_Init message: %s\n", msg == NULL ? "(null)" : msg);
        ++failures;
    }
    if (params_out == NULL || strncmp(params_out, "(Halvorin_7314_Tx(TX_Corner ", 28) != 0) {
        fprintf(stderr, "AMI_Init echo: %s\n", params_out == NULL ? "(null)" : params_out);
        ++failures;
    }
    expect_long("AMI_GetWave", AMI_GetWave(wave, 40, NULL, &params_out, memory), 1);
    expect_long("AMI_GetWave", AMI_GetWave(wave + 40, 24, NULL, &params_out, memory), 1);
    if (params_out != NULL) {
        fprintf(stderr, "AMI_GetWave left an output parameter string\n");
        ++failures;
    }
    expect_long("AMI_Close", AMI_Close(memory), 1);

    entries[0].name = "a";
    entries[0].type = PARAM_DOUBLE;
    entries[0].value.as_double = 0.5;
    entries[1].name = "b";
    entries[1].type = PARAM_STRING;
    entries[1].value.text = NULL;
    echo = GrowTree("c_root", 2, entries);
    expect_text("GrowTree", echo, "(c_root(a 0.5)(b \"\"))");
    free(echo);

    joined = string_cat(NULL, "one ");
    joined = string_cat(joined, "two");
    expect_text("string_cat", joined, "one two");
    free(joined);

    if (failures == 0) {
        printf("C API consumer: all checks passed\n");
    }
    return failures == 0 ? EXIT_SUCCESS : EXIT_FAILURE;
}
