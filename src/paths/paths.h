// Paths and volumes: name comparison, drive identity, volume abilities,
// destination names and directory chains. Paths are OEM texts of at most 511
// characters; every output buffer is 512 bytes.
#pragma once

// ---- Names and drives -----------------------------------------------------

// Compares two names as the user sees them: both converted from the OEM to
// the ANSI code page, then compared without regard to case (as lstrcmpiA).
// 0 when equal, else the sign of the comparison.
int CompareNamesOem(const char* a, const char* b);

// Writes `path` to out[512] with substituted drive letters replaced by the
// paths they stand for, followed to the end (a substitution of a
// substitution). Returns 1; 0 (out empty) when the result would not fit.
int ResolveSubst(const char* path, char* out);

// 1 and the server's name in out[512] for a UNC path or a mapped network
// drive, else 0.
int NetworkServerName(const char* path, char* out);

// 1 and the disk group's name in out[512] for a drive on a dynamic disk,
// else 0.
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
// part, "|<>", a colon past the drive in a folder part) or whose volume
// cannot be found.
int GetVolumeCaps(const char* path);

// 1 when the two paths lie on different physical drives, 0 on the same one,
// -1 when it cannot be told.
int DriveRelation(const char* pathA, const char* pathB);

// ---- Destinations ---------------------------------------------------------

// The destination path of one item (its full source path) for the
// destination as typed: a folder (existing, or ending in a backslash) gets
// the source's name appended; otherwise the last component is a name mask
// ("*" the whole base or extension, "?" the character at that position).
// Returns 1 with out[512] filled; 0 with out empty when the result would not
// fit in 511 characters (the caller must not use it).
int DestinationPath(const char* source, const char* destination, char* out);

// Creates every missing folder on the way to `path` (not the last
// component); failures are ignored.
void CreateParentDirectories(const char* path);

// The two-button warning box of the copy dialog: `text`, then the question
// whether to go on. True for the first button (go on).
bool AskContinue(const char* text);
