#include "File.h"

#include "BasicFile.h"
#include "ZFile.h"

#include <cctype>
#include <new>

namespace VeltorFilelib {

File::File(const std::string& name) {
    setName(name);
}

File::~File() = default;

void File::setName(const std::string& name) {
    if (impl)
        VELTOR_THROW(
            SetName_AlreadySet,
            "@file.set-name.already-set{Trying to set file name \"%\" but \"%\" has already been set};", name,
            impl->getName());
    const auto dot = name.rfind('.');
    std::string extension = dot == std::string::npos ? std::string() : name.substr(dot + 1);
    for (char& c : extension)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    try {
        if (extension == "gz")
            impl = std::make_unique<ZFile>(name);
        else
            impl = std::make_unique<BasicFile>(name);
    } catch (const std::bad_alloc&) {
        VELTOR_THROW_OOM(File_OutOfMemory);
    }
}

FileBase& File::reader() const {
    if (!impl)
        VELTOR_THROW(Read_CannotRead,
                     "@file.read.cannot-read{Trying to read from file that is not opened for reading};");
    return *impl;
}

std::string File::getName() const {
    return impl ? impl->getName() : std::string();
}
std::uint32_t File::getEncoding() const {
    return impl ? impl->getEncoding() : 0;
}
std::uint32_t File::getMode() const {
    return impl ? impl->getMode() : 0;
}
std::int64_t File::tell() {
    return impl ? impl->tell() : 0;
}
std::uint32_t File::getLine() const {
    return impl ? impl->getLine() : 0;
}
std::uint32_t File::getPreviousLine() const {
    return impl ? impl->getPreviousLine() : 0;
}

void File::setEncoding(std::uint32_t encoding) {
    if (impl)
        impl->setEncoding(encoding);
}
void File::seek(std::int64_t position) {
    if (impl)
        impl->seek(position);
}
void File::move(std::int64_t delta) {
    if (impl)
        impl->move(delta);
}
void File::openReadPrimitive() {
    if (impl)
        impl->openReadPrimitive();
}
void File::openWritePrimitive() {
    if (impl)
        impl->openWritePrimitive();
}
void File::openAppendPrimitive() {
    if (impl)
        impl->openAppendPrimitive();
}
void File::openReadWritePrimitive(int kind) {
    if (impl)
        impl->openReadWritePrimitive(kind);
}
void File::closePrimitive() {
    if (impl)
        impl->closePrimitive();
}
void File::detectEncoding() {
    if (impl)
        impl->detectEncoding();
}
void File::writeBom() {
    if (impl)
        impl->writeBom();
}
std::uint32_t File::readChar() {
    return reader().readChar();
}
void File::readUntil(std::string& out, char delimiter) {
    reader().readUntil(out, delimiter);
}
void File::readLine(std::string& out, char delimiter) {
    reader().readLine(out, delimiter);
}
void File::readPrimitive(std::string& buffer) {
    reader().readPrimitive(buffer);
}
void File::unread(std::uint32_t count) {
    if (impl)
        impl->unread(count);
}
bool File::isEofPrimitive() {
    return impl ? impl->isEofPrimitive() : false;
}
void File::writeChars(const std::u32string& codes, char byte) {
    if (impl)
        impl->writeChars(codes, byte);
}
void File::writeString(const std::string& text, char byte) {
    if (impl)
        impl->writeString(text, byte);
}
void File::writeChars(const std::u32string& codes) {
    if (impl)
        impl->writeChars(codes);
}
void File::writeString(const std::string& text) {
    if (impl)
        impl->writeString(text);
}
void File::writeByte(char byte) {
    if (impl)
        impl->writeByte(byte);
}
void File::writeChar(std::uint32_t code) {
    if (impl)
        impl->writeChar(code);
}
void File::writeCharsLine(const std::u32string& codes) {
    if (impl)
        impl->writeCharsLine(codes);
}
void File::writeLine(const std::string& text) {
    if (impl)
        impl->writeLine(text);
}
void File::flush() {
    if (impl)
        impl->flush();
}
void File::writeBytes(const char* data, std::size_t count) {
    if (impl)
        impl->writeBytes(data, count);
}
void File::writePrimitive(const char* data, std::size_t count) {
    if (impl)
        impl->writePrimitive(data, count);
}
void File::flushPrimitive() {
    if (impl)
        impl->flushPrimitive();
}

void File::openRead() {
    if (impl)
        impl->openRead();
}
void File::openWrite() {
    if (impl)
        impl->openWrite();
}
void File::openAppend() {
    if (impl)
        impl->openAppend();
}
void File::openReadWrite(int kind) {
    if (impl)
        impl->openReadWrite(kind);
}
void File::close() {
    if (impl)
        impl->close();
}
bool File::isEof() {
    return impl ? impl->isEof() : false;
}
bool File::exists() const {
    return impl ? impl->exists() : false;
}
std::int64_t File::size() const {
    return impl ? impl->size() : 0;
}
void File::setBytePos(std::int64_t position) {
    if (impl)
        impl->setBytePos(position);
}
void File::moveBytePos(std::int64_t delta) {
    if (impl)
        impl->moveBytePos(delta);
}
unsigned char File::readByte() {
    return reader().readByte();
}
std::string File::readBytes(std::size_t count) {
    return reader().readBytes(count);
}
std::string File::readString(std::size_t count) {
    return reader().readString(count);
}

} // namespace VeltorFilelib
