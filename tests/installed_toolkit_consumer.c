/*
 * A C99 program built against an installed toolkit alone, through
 * pkg-config: the installed headers compile from the install's include
 * folder, the library links (shared or static), and toolkit calls give
 * known results. Exits non-zero on the first difference.
 */
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "IBIS_AMI_tree.h"
#include "Kestrom_AMI_Model.h"

int main(void) {
    int failures = 0;
    Param entries[2];
    ParamBranch branch;
    char *msg = NULL;
    char *echo = NULL;
    int32_t stored;
    Complex pole = {-1.0e10, 0.0};
    Complex residue = {2.0, 0.0};
    Complex *poles[1];
    Complex *residues[1];
    double gain = 1.0;
    double step[4000];
    PeakingFilter filter;
    int i;

    /* A model's own parameter tree, read from a parameter string and echoed. */
    entries[0].name = "Gain";
    entries[0].type = PARAM_DOUBLE;
    entries[0].value.as_double = 0.0;
    entries[1].name = "Taps";
    entries[1].type = PARAM_INT;
    entries[1].value.as_int = 0;
    branch.name = "My_Model";
    branch.count = 2;
    branch.entries = entries;
    stored = ParseTree("(My_Model (Gain 2.5) (Taps 3))", branch.name, branch.count, branch.entries,
                       &msg);
    echo = GrowTree(branch.name, branch.count, branch.entries);
    if (stored != 2 || msg != NULL || echo == NULL ||
        strcmp(echo, "(My_Model(Gain 2.5)(Taps 3))") != 0) {
        fprintf(stderr, "tree: stored %d, echo %s, messages %s\n", (int)stored,
                echo == NULL ? "(null)" : echo, msg == NULL ? "(none)" : msg);
        ++failures;
    }
    free(echo);
    free(msg);
    FreeTree(branch.name, branch.count, branch.entries);

    /* A one-pole peaking filter settles to its residue, the DC gain. */
    poles[0] = &pole;
    residues[0] = &residue;
    filter = SetupPeakingFilter(1.0e-12, 1, 1, poles, residues, &gain, NULL, 0);
    for (i = 0; i < 4000; ++i) {
        step[i] = 1.0;
    }
    ApplyPeakingFilter(step, 4000, filter, 0, 0, step);
    DeletePeakingFilter(filter);
    if (fabs(step[3999] - 2.0) > 1e-9) {
        fprintf(stderr, "peaking filter: step response ends at %.17g, not 2\n", step[3999]);
        ++failures;
    }

    if (failures == 0) {
        printf("installed toolkit consumer: all checks passed\n");
    }
    return failures == 0 ? EXIT_SUCCESS : EXIT_FAILURE;
}
