#include <cstdio>

#include "IBIS_AMI_tree.h"

void EchoTree(const char *text) {
    std::FILE *file = std::fopen("kestrom_echo_param.txt", "w");
    if (file == nullptr) {
        return;
    }
    if (text != nullptr) {
        (void)std::fputs(text, file);
    }
    (void)std::fclose(file);
}
