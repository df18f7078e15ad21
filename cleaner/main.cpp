#include "Sorvik.h"

int main(int argc, char** argv) {
    Veltor::Sorvik::prepareConsole(argc, argv);
    return VeltorCorelib::appMain<Veltor::Sorvik>(argc, argv);
}
