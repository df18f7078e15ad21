#include "platform/Console.h"

int main() {
    VeltorPlatform::consoleWrite("Running \"Sorvik\" (Sorvik)\n");
    VeltorPlatform::consoleFlush();
    return 0;
}
