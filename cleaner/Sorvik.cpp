namespace Veltor {}
