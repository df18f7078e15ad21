// The file library starts here.
namespace VeltorFilelib {}
