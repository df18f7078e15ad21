#include "Sorvik.h"

int main(int argc, char** argv) {
    return VeltorCorelib::appMain<Veltor::Sorvik>(argc, argv);
}
