#!/usr/bin/env bash
# Fails when a Windows program imports a function that Windows XP SP3 does not have, so that the i686
# build stays loadable there. The list names what the runtime, the standard library and our own code
# could plausibly pull in; calls newer than XP must be looked up at run time instead.
set -euo pipefail
program=$1
newer_than_xp=(
  GetTickCount64 GetTickCount64@0
  InitializeSRWLock AcquireSRWLockExclusive AcquireSRWLockShared ReleaseSRWLockExclusive ReleaseSRWLockShared
  TryAcquireSRWLockExclusive TryAcquireSRWLockShared
  InitializeConditionVariable SleepConditionVariableCS SleepConditionVariableSRW WakeConditionVariable
  WakeAllConditionVariable InitOnceExecuteOnce InitOnceBeginInitialize InitOnceComplete
  FlsAlloc FlsFree FlsGetValue FlsSetValue GetCurrentProcessorNumber GetThreadId RaiseFailFastException
  CreateSymbolicLinkW CreateSymbolicLinkA GetFinalPathNameByHandleW GetFinalPathNameByHandleA
  GetFileInformationByHandleEx SetFileInformationByHandle QueryFullProcessImageNameW QueryFullProcessImageNameA
  CancelIoEx GetQueuedCompletionStatusEx CreateEventExW CreateMutexExW CreateSemaphoreExW
  CompareStringEx LCMapStringEx GetLocaleInfoEx GetUserDefaultLocaleName LocaleNameToLCID LCIDToLocaleName
  GetDynamicTimeZoneInformation GetSystemTimePreciseAsFileTime SetDefaultDllDirectories AddDllDirectory
  CreateThreadpoolWork SubmitThreadpoolWork CloseThreadpoolWork WaitForThreadpoolWorkCallbacks
  GetErrorMode SetThreadStackGuarantee
  SetProcessDPIAware GetDpiForWindow ChangeWindowMessageFilter
  RegGetValueW RegGetValueA RegDeleteTreeW RegDeleteTreeA
  SHGetKnownFolderPath TaskDialog TaskDialogIndirect
)
# objdump lists each DLL's imports as "<tab>address<tab> hint  Name" below its "DLL Name:" line.
imports=$(i686-w64-mingw32-objdump -p "$program" |
  awk -F'\t' '/DLL Name:/ {split($2, part, " "); dll = part[3]} NF == 3 && $2 ~ /^[0-9a-f]+$/ {n = split($3, part, " "); print dll ": " part[n]}')
found=0
for name in "${newer_than_xp[@]}"; do
  if grep -qE ": ${name}\$" <<<"$imports"; then
    echo "$program imports $name, which Windows XP does not have" >&2
    found=1
  fi
done
[ "$found" = 0 ] && echo "$program: no import newer than Windows XP ($(wc -l <<<"$imports") imports checked)"
exit $found
