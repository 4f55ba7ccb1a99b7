// Stands in for the program the shell opens a document with: appends the document's path to the
// log file named first on its command line.
#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    FILE* log = fopen(argv[1], "ab");
    if (!log) return 3;
    fprintf(log, "%s\n", argv[2]);
    fclose(log);
    return 0;
}
