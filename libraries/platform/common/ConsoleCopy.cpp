#include "ConsoleCopy.h"

#include "platform/Console.h"

namespace VeltorPlatform {

namespace {
ConsoleCopy copyTarget = nullptr;
void* copyContext = nullptr;
} // namespace

void consoleCopyTo(ConsoleCopy target, void* context) {
    copyTarget = target;
    copyContext = context;
}

void copyConsoleOutput(const char* data, std::size_t length) {
    if (copyTarget != nullptr)
        copyTarget(data, length, copyContext);
}

} // namespace VeltorPlatform
