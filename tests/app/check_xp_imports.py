"""Checks that a Windows program starts on Windows XP SP3: GUI (or, with --console, console)
subsystem 5.01, only system DLLs that XP has, and none of the functions that arrived after XP and
that toolchains pull in.

Usage: check_xp_imports.py OBJDUMP PROGRAM.exe [--console] [--expect-rejection]
With --expect-rejection the check must fail (used to prove that it can).
"""

import re
import subprocess
import sys

SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "comdlg32.dll", "comctl32.dll",
               "advapi32.dll", "shell32.dll", "msvcrt.dll"}

# Functions of kernel32/user32/msvcrt that Windows XP SP3 lacks.
POST_XP_FUNCTIONS = {
    # kernel32: timing, slim locks, condition variables, one-time initialisation
    "GetTickCount64", "InitializeSRWLock", "AcquireSRWLockExclusive", "AcquireSRWLockShared",
    "ReleaseSRWLockExclusive", "ReleaseSRWLockShared", "TryAcquireSRWLockExclusive",
    "TryAcquireSRWLockShared", "InitializeConditionVariable", "SleepConditionVariableCS",
    "SleepConditionVariableSRW", "WakeConditionVariable", "WakeAllConditionVariable",
    "InitOnceInitialize", "InitOnceBeginInitialize", "InitOnceComplete", "InitOnceExecuteOnce",
    # kernel32: I/O and synchronisation objects
    "CancelIoEx", "CancelSynchronousIo", "GetOverlappedResultEx", "GetQueuedCompletionStatusEx",
    "SetFileCompletionNotificationModes", "CreateEventExA", "CreateEventExW", "CreateMutexExA",
    "CreateMutexExW", "CreateSemaphoreExW", "CreateWaitableTimerExW",
    "InitializeCriticalSectionEx", "WaitOnAddress", "WakeByAddressSingle", "WakeByAddressAll",
    # kernel32: fiber-local storage
    "FlsAlloc", "FlsFree", "FlsGetValue", "FlsSetValue",
    # kernel32: locale-name functions
    "LCMapStringEx", "CompareStringEx", "CompareStringOrdinal", "GetLocaleInfoEx",
    "GetUserDefaultLocaleName", "GetSystemDefaultLocaleName", "LocaleNameToLCID",
    "LCIDToLocaleName", "GetNumberFormatEx", "GetCurrencyFormatEx", "GetDateFormatEx",
    "GetTimeFormatEx", "EnumSystemLocalesEx", "IsValidLocaleName", "ResolveLocaleName",
    "GetCalendarInfoEx",
    # kernel32: files, processes, threads
    "GetFileInformationByHandleEx", "SetFileInformationByHandle", "GetFinalPathNameByHandleA",
    "GetFinalPathNameByHandleW", "CreateSymbolicLinkA", "CreateSymbolicLinkW", "CreateFile2",
    "QueryFullProcessImageNameA", "QueryFullProcessImageNameW", "GetErrorMode",
    "SetThreadErrorMode", "GetThreadErrorMode", "GetCurrentProcessorNumber",
    "GetSystemTimePreciseAsFileTime", "GetThreadId", "GetProcessIdOfThread",
    "GetLogicalProcessorInformationEx", "GetActiveProcessorCount", "GetMaximumProcessorCount",
    "AddDllDirectory", "SetDefaultDllDirectories", "RemoveDllDirectory", "RaiseFailFastException",
    "CreateThreadpoolWork", "SubmitThreadpoolWork", "CloseThreadpoolWork",
    "WaitForThreadpoolWorkCallbacks", "CreateThreadpoolTimer", "SetThreadpoolTimer",
    "CloseThreadpoolTimer", "InterlockedCompareExchange64",
    # user32
    "SetProcessDPIAware", "ChangeWindowMessageFilter", "ChangeWindowMessageFilterEx",
    # msvcrt.dll as XP ships it
    "_fseeki64", "_ftelli64", "_get_errno", "_set_errno", "_aligned_msize",
}


def imports(objdump, program):
    """Returns ({dll: [functions]}, headers text) from objdump -p."""
    text = subprocess.run([objdump, "-p", program], check=True, capture_output=True,
                          text=True).stdout
    table = {}
    current = None
    for line in text.splitlines():
        match = re.match(r"\s*DLL Name: (\S+)", line)
        if match:
            current = match.group(1).lower()
            table[current] = []
            continue
        match = re.match(r"\s+[0-9a-f]+\s+\d+\s+(\S+)$", line)
        if match and current is not None:
            table[current].append(match.group(1))
    return table, text


def header_value(text, name):
    match = re.search(r"^%s\s+(\S+)" % name, text, re.MULTILINE)
    return match.group(1) if match else None


def problems(objdump, program, subsystem):
    table, text = imports(objdump, program)
    found = []
    if not table:
        found.append("no import table found")
    for dll, functions in sorted(table.items()):
        if dll not in SYSTEM_DLLS:
            found.append("imports %s, which is not a Windows XP system DLL" % dll)
        for function in functions:
            if function in POST_XP_FUNCTIONS or (dll == "msvcrt.dll" and function.endswith("_s")):
                found.append("imports %s!%s, which Windows XP lacks" % (dll, function))
    expected = {"Subsystem": subsystem, "MajorSubsystemVersion": "5",
                "MinorSubsystemVersion": "1", "MajorOSystemVersion": "5",
                "MinorOSystemVersion": "1"}
    for name, value in expected.items():
        actual = header_value(text, name)
        if actual != value:
            found.append("%s is %s, not %s" % (name, actual, value))
    return found


def main():
    objdump, program = sys.argv[1], sys.argv[2]
    expect_rejection = "--expect-rejection" in sys.argv[3:]
    # Windows GUI (2) unless the program is a console one (3).
    subsystem = "00000003" if "--console" in sys.argv[3:] else "00000002"
    found = problems(objdump, program, subsystem)
    for problem in found:
        print(problem)
    if expect_rejection:
        if not found:
            print("%s passed the check but should have been rejected" % program)
            return 1
        print("rejected as expected")
        return 0
    if not found:
        print("%s starts on Windows XP SP3" % program)
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
