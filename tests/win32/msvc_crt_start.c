/* The C runtime's start for the example linked in MSVC mode where no MSVC
   runtime libraries exist (no Visual Studio on the build machine): main
   gets its arguments from msvcrt.dll, which also supplies stdio. With
   Visual Studio, its own runtime does this and this file is not used. */
int main(int argc, char** argv);
__declspec(dllimport) int __cdecl __getmainargs(int* argc, char*** argv, char*** env, int expand, int* startInfo);
__declspec(dllimport) void __cdecl exit(int status);

void __cdecl mainCRTStartup(void) {
  int argc = 0;
  char** argv = 0;
  char** env = 0;
  int startInfo = 0;
  __getmainargs(&argc, &argv, &env, 0, &startInfo);
  exit(main(argc, argv));
}
