#include "Sorvik.h"

int main(int argc, char** argv) {
    Veltor::RunOutputs::prepareConsole(argc, argv);
    return VeltorCorelib::appMain<Veltor::Sorvik>(argc, argv);
}
