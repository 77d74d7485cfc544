// Built-in suppressions of the ThreadSanitizer builds, linked into each of
// their executables. The HTTP library is a shared library built without the
// sanitizer: the fast path of its function-local statics is a plain load the
// sanitizer cannot see, so the first requests parsed on two threads at once
// look like a race on the library's own tables. Only the accesses that
// interceptors make on behalf of that library are ignored; our code is still
// checked, whoever calls it.
extern "C" const char* __tsan_default_suppressions() {
  return "called_from_lib:libcpp-httplib.so\n";
}
