namespace VeltorCorelib {}
