// Paths and volumes: name comparison, drive identity, volume abilities,
// destination names and directory chains. Paths are OEM texts of at most 511
// characters; every output buffer is 512 bytes.
#pragma once

// ---- Names and drives -----------------------------------------------------

// Compares two names as the user sees them: both converted from the OEM to
// the ANSI code page, then compared without regard to case (as lstrcmpiA).
// 0 when equal, else the sign of the comparison. A name of 512 characters or
// more cannot be converted: it equals only the very same text.
int CompareNamesOem(const char* a, const char* b);

// Compares two file names or paths by the file system's rule after the same
// OEM to ANSI conversion: Windows ignores case (as CompareNamesOem), Linux
// compares bytes. Every "same name, same folder" question about files asks
// this, not CompareNamesOem, which stays for device and server names.
int CompareFileNames(const char* a, const char* b);

// 1 when both paths exist and are one file or folder (same volume and file
// index, whatever path reaches it: a link, a bind mount, a hard link,
// another case); 0 otherwise, also when either cannot be opened.
int SameFile(const char* a, const char* b);

// Writes `path` to out[512] with substituted drive letters replaced by the
// paths they stand for, followed to the end (a substitution of a
// substitution; "\??\UNC\server\share" reads as "\\server\share"). Returns 1;
// 0 (out empty) when the path or the result would not fit, or when the
// substitutions come round in a loop.
int ResolveSubst(const char* path, char* out);

// 1 and the server's name in out[512] for a UNC path ("\\server..." needs no
// share) or a mapped network drive, else 0 (out empty).
int NetworkServerName(const char* path, char* out);

// 1 and the disk group's name in out[512] for a drive on a dynamic disk,
// else 0 (out empty).
int DiskGroupName(const char* path, char* out);

// ---- Volumes --------------------------------------------------------------

// VolumeCaps bits.
enum : int {
  CapsCompression = 0x01,
  CapsEncryption = 0x02,
  CapsAccessRights = 0x04,
  CapsNamedStreams = 0x08,
  CapsReadOnly = 0x10,
  CapsUnicode = 0x20,
  CapsCdRom = 0x40,
};

// The abilities of the volume that holds `path` (the nearest enclosing
// volume root), or -1 for a path that is not valid (wildcards in a folder
// part, "|<>", a colon past the drive in a folder part; wildcards and a
// stream colon in the last part are fine) or whose volume cannot be found.
// A UNC path is looked at no higher than its share root: "\\" and "\" would
// answer for the current drive instead.
int GetVolumeCaps(const char* path);

// GetVolumeCaps of a scanned entry, remembered per folder until
// ForgetVolumeCaps: a scan asks for every entry, folder after folder. An
// entry's own path ends in no backslash and so is never a volume root: the
// answer for its folder is its own.
int EntryVolumeCaps(const char* path);
// Forgets the remembered answer; every run's list starts without one.
void ForgetVolumeCaps();

// 1 when the two paths lie on different physical drives, 0 on the same one,
// -1 when it cannot be told. Each path's drive type is that of the current
// directory set to it (from the caller's current directory, which is put
// back on every way out); a path that cannot be made the current directory
// (missing, a file, a mask) gives -1 rather than the type of whatever
// directory was current; so does an unknown type. Different types give 1;
// basic fixed disks are never told apart (-1), dynamic volumes are by their
// disk group, network drives by their server.
int DriveRelation(const char* pathA, const char* pathB);

// ---- Destinations ---------------------------------------------------------

// The destination path of one item (its full source path) for the
// destination as typed: a folder (existing, or ending in a backslash) gets
// the source's name appended; otherwise the last component is a name mask
// ("*" the whole base or extension, "?" the character at that position).
// Returns 1 with out[512] filled; 0 with out empty (the caller must not use
// it) and the last error set: ERROR_FILENAME_EXCED_RANGE when the result
// would not fit in 511 characters; ERROR_INVALID_NAME when either text is
// empty, the source has no name, the destination has wildcards in a folder
// part or "|<>" anywhere, or the mask leaves no name.
int DestinationPath(const char* source, const char* destination, char* out);

// Creates every missing folder on the way to `path` (not the last
// component); failures are ignored. Stops at a folder part with "*?|<>";
// a path of 512 characters or more is left alone.
void CreateParentDirectories(const char* path);

// The two-button warning box of the copy dialog: `text`, then the question
// whether to go on. True for the first button (go on); false for the second
// and for Esc.
bool AskContinue(const char* text);
