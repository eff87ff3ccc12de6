// Compiled only to build the precompiled GoogleTest headers that every
// test file shares (see olai_test_options in olai.cmake).
