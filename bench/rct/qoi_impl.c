/* QOI (Debian libqoi-dev ships the header only): compiled once, as a peer to measure against. */
#define QOI_IMPLEMENTATION
#define QOI_NO_STDIO
#include <qoi.h>
