#include "copy.h"

#include <cstring>

#include "common/run_state.h"
#include "common/text.h"
#include "file_access.h"
#include "host/messages.h"
#include "progress.h"
#include "prompts.h"
#include "scan/file_list.h"
#include "scan/names.h"
#include "scan/overwrite.h"
#include "scan/primitives.h"
#include "settings/settings.h"

int BreakRequested;
int LastDoneIndex = -1;

namespace {

// Sources are read in pieces of whole blocks: with every entry's data
// starting on a block boundary, every read but a file's last stays
// sector-aligned. A piece doubles while full reads take under kPieceFast
// and halves past kPieceSlow (microseconds): large on a fast volume, where
// each call costs, and short enough on a slow one for Esc and progress.
constexpr DWORD kPieceMin = BufferBlock;
constexpr DWORD kPieceMax = 8 << 20;
constexpr uint64_t kPieceFast = 8000;
constexpr uint64_t kPieceSlow = 32000;
// How long the reader waits for the writer thread between Esc polls.
constexpr DWORD kWriterPoll = 500;
// After a piece the console is asked for Esc at most this often (ms): under
// Wine every console call is a trip to the server.
constexpr DWORD kBreakPoll = 30;

struct Pair {
  const char* source;
  const char* destination;
  FileRecord* record;
};

// One run of the engine. Only one exists at a time.
struct Engine {
  int isMove;
  int pairCount;
  const DWORD* offsets;
  const char* names;
  bool parallel;
  BufferState reader;
  BufferState writer;
  HANDLE source;        // the reader's open source; null when none
  HANDLE writerThread;  // null when no writer thread runs
  HANDLE writerDone;    // auto-reset, signalled when the writer's buffer is out
  DWORD lastBreakPoll;  // tick count of the reader's last Esc poll after a piece
  DWORD piece;          // bytes the reader asks for next, kPieceMin to kPieceMax
  // The writer's last file and where it went: its streams follow it. Only
  // the one writer at work touches it.
  struct {
    int index;  // pair; -1 before the first
    char target[512];
    int open;    // OpenCreate or OpenAppend
    bool whole;  // every entry of it so far closed with all its bytes
  } file;
};

Engine E;

// A named stream's entry follows its file's, its source path the file's
// followed by ":name"; no other name has a colon after the last backslash.
bool IsStream(const char* path) {
  const char* name = std::strrchr(path, '\\');
  return name != nullptr && std::strchr(name, ':') != nullptr;
}

Pair PairAt(int index) {
  platform::EnterCriticalSection(&ListLock);
  DWORD sourceOffset = E.offsets[2 * index];
  DWORD destinationOffset = E.offsets[2 * index + 1];
  platform::LeaveCriticalSection(&ListLock);
  const char* destination = E.names + destinationOffset;
  auto* record = reinterpret_cast<FileRecord*>(const_cast<char*>(destination) +
                                               std::strlen(destination) + 1);
  return {E.names + sourceOffset, destination, record};
}

// The pair of the file whose stream pair `index` is; `index` for a file.
int FileOf(int index) {
  while (index > 0 && IsStream(PairAt(index).source)) --index;
  return index;
}

// An entry's state and read count are shared between the reader, the writer
// thread and the overwrite dialog's re-examination; ListLock keeps them
// consistent.
uint32_t StateOf(const FileRecord* record) {
  platform::EnterCriticalSection(&ListLock);
  uint32_t state = record->state;
  platform::LeaveCriticalSection(&ListLock);
  return state;
}

void AddState(FileRecord* record, uint32_t bits) {
  platform::EnterCriticalSection(&ListLock);
  record->state |= bits;
  platform::LeaveCriticalSection(&ListLock);
}

// The bytes to add to TotalRead: none once the entry has been taken out of
// the totals (by the writer or the pre-pass), or its skip would count them.
uint64_t AddBytesRead(FileRecord* record, uint64_t bytes) {
  platform::EnterCriticalSection(&ListLock);
  record->bytesRead += bytes;
  uint64_t counted = (record->state & EntryTotalsAdjusted) ? 0 : bytes;
  platform::LeaveCriticalSection(&ListLock);
  return counted;
}

// The reader leaves a skipped entry in the same hold of ListLock that finds
// the skip: the pre-pass takes back only skips the reader has not passed.
bool PassIfSkipped(FileRecord* record) {
  platform::EnterCriticalSection(&ListLock);
  bool skipped = (record->state & EntrySkip) != 0;
  if (skipped) record->state |= EntryReaderPassed;
  platform::LeaveCriticalSection(&ListLock);
  return skipped;
}

bool IsOpen(HANDLE file) { return file != nullptr && file != INVALID_HANDLE_VALUE; }

bool SetPosition(HANDLE file, uint64_t position) {
  LONG high = static_cast<LONG>(position >> 32);
  platform::SetLastError(ERROR_SUCCESS);  // a low half of all ones is no failure
  return platform::SetFilePointer(file, static_cast<LONG>(position & 0xFFFFFFFF), &high,
                                  FILE_BEGIN) != INVALID_SET_FILE_POINTER ||
         platform::GetLastError() == ERROR_SUCCESS;
}

// Cuts the file to `size` and leaves the position there.
bool EndAt(HANDLE file, uint64_t size) {
  return SetPosition(file, size) && platform::SetEndOfFile(file);
}

void CloseSource() {
  if (IsOpen(E.source)) platform::CloseHandle(E.source);
  E.source = nullptr;
}

// The target travels with whichever state writes next.
void MoveTarget(BufferState* from, BufferState* to) {
  to->target = from->target;
  std::memcpy(to->targetName, from->targetName, sizeof to->targetName);
  std::memcpy(to->sourceName, from->sourceName, sizeof to->sourceName);
  to->sizeAtOpen = from->sizeAtOpen;
  to->appended = from->appended;
}

// Takes back what was written to the target, open or already closed: a
// created file is deleted; a file appended to is cut back to the data it
// held, which was the user's.
void UndoTarget(BufferState* state) {
  HANDLE file = state->target;
  if (state->appended && !IsOpen(file))
    file = platform::CreateFileA(state->targetName, GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
  if (state->appended && IsOpen(file)) EndAt(file, state->sizeAtOpen);
  if (IsOpen(file)) platform::CloseHandle(file);
  if (!state->appended) RemoveFile(state->targetName);
  state->target = nullptr;
}

// At a break: the partly written target goes.
void DiscardTarget(BufferState* state) {
  if (IsOpen(state->target)) UndoTarget(state);
  state->target = nullptr;
  state->targetName[0] = 0;
}

// CheckForBreak after a piece, when the last poll is kBreakPoll old; only
// the reader (or the serial writer, on the same thread) calls it.
int BreakAfterPiece() {
  DWORD now = platform::GetTickCount();
  if (now - E.lastBreakPoll < kBreakPoll) return 0;
  E.lastBreakPoll = now;
  return CheckForBreak();
}

void JoinWriterThread() {
  if (E.writerThread == nullptr) return;
  platform::WaitForSingleObject(E.writerThread, INFINITE);
  platform::CloseHandle(E.writerThread);
  E.writerThread = nullptr;
}

// ---- Writer ----------------------------------------------------------------

int OverwriteModeOf(const FileRecord* record) {
  return record->overwriteChoice != 0 ? record->overwriteChoice : RunOptions.OverwriteMode;
}

// Decides where the entry goes and opens its target. A file goes where the
// overwrite mode, the pre-pass or the overwrite dialog say; a stream goes
// where its file went, opened as the file was. False when the run is
// stopping: nothing was opened.
bool OpenTarget(BufferState* state, const Pair& pair, int index) {
  FileRecord* record = pair.record;
  CopyText(state->sourceName, sizeof state->sourceName, pair.source);
  char path[512];
  int open = OpenCreate;
  bool nameFits = true;
  if (IsStream(pair.source)) {
    int file = FileOf(index);
    Pair owner = PairAt(file);
    // A file not written takes its streams along: none is asked about on
    // its own or put into a file the user has.
    if (E.file.index != file || (StateOf(owner.record) & EntrySkip)) {
      AddState(record, EntrySkip | (StateOf(owner.record) & EntryFailed));
      return true;
    }
    open = E.file.open;
    nameFits = CopyText(path, sizeof path, E.file.target) &&
               AppendText(path, sizeof path, pair.destination + std::strlen(owner.destination));
  } else {
    CopyText(path, sizeof path, pair.destination);
    int mode = OverwriteModeOf(record);
    if (mode == OverwriteRename && record->renameNumber != 0)
      nameFits = NumberedName(pair.destination, record->renameNumber, path);
    if (mode == OverwriteAppend) {
      open = OpenAppend;
    } else if (nameFits && mode != OverwriteAll && NumberedNameExists(path, 0)) {
      char newName[512] = {};
      int answer = AskOverwrite(state->sourceName, path, index, newName);
      if (RunStopping.load()) return false;
      if (answer == AnswerSkip) {
        AddState(record, EntrySkip);
        open = -1;
      } else if (answer == AnswerAppend) {
        open = OpenAppend;
      } else if (answer == AnswerRename) {
        CopyText(path, sizeof path, newName);
      }
    }
    E.file.index = index;
    CopyText(E.file.target, sizeof E.file.target, path);
    E.file.open = open;
    E.file.whole = true;
  }
  if (open < 0) return true;

  DWORD attributes = record->attributes;
  if (!(attributes & FILE_ATTRIBUTE_ENCRYPTED) || RunOptions.EncryptionMode != ModeOn)
    attributes &= ~FILE_ATTRIBUTE_ENCRYPTED;
  // An append to a file that was there keeps that file whatever happens.
  bool existed = open == OpenAppend && NumberedNameExists(path, 0);
  // Opened holding the screen, as a confirmed break holds it while it sets
  // RunStopping: after the confirmation nothing is opened.
  bool held;
  if (!TakeScreen(&held)) return false;
  HANDLE target = INVALID_HANDLE_VALUE;
  // A name too long for a path is never cut: the original is not written over.
  platform::SetLastError(ERROR_FILENAME_EXCED_RANGE);
  if (nameFits) target = OpenForCopy(path, open, attributes);
  DWORD error = platform::GetLastError();
  GiveScreen(held);
  platform::SetLastError(error);

  CopyText(state->targetName, sizeof state->targetName, path);
  state->target = target;
  ShowWriteProgress(path, 0);
  if (target == INVALID_HANDLE_VALUE) {
    ShowFileErrorBox(Msg(MsgCannotCreate), path);
  } else {
    if (RunOptions.CompressionMode != ModeLeave && (attributes & FILE_ATTRIBUTE_COMPRESSED))
      SetCompressionState(target, RunOptions.CompressionMode);
    // A created file starts empty: only an append needs to ask.
    state->sizeAtOpen = open == OpenAppend ? FileSize64(target) : 0;
    state->appended = existed;
  }
  return true;
}

// Writes buffer[*p, dataEnd) into the target. 0 when the run is to stop:
// the user broke off (serial runs), or the reader stopped the writer thread.
int WritePiece(BufferState* state, FileRecord* record, int32_t* p, int32_t dataEnd) {
  while (*p < dataEnd) {
    if (RunStopping.load()) return 0;
    DWORD n = static_cast<DWORD>(dataEnd - *p);
    uint64_t t0 = NowMicroseconds();
    int32_t written = WriteBlock(state->target, state->buffer + *p, n);
    if (written > 0) {
      record->bytesWritten += static_cast<uint64_t>(written);
      WriteTime += NowMicroseconds() - t0;
      ShowWriteProgress(nullptr, static_cast<uint64_t>(written));
      *p += written;
    }
    if (written < static_cast<int32_t>(n)) {
      // What did reach the file stays; Retry writes the rest right after
      // it, whatever a failed write left at the position or beyond.
      bool retry;
      do {
        retry = AskRetrySkip(Msg(MsgWriteError), state->targetName) == 0;
      } while (retry && !RunStopping.load() &&
               !EndAt(state->target, state->sizeAtOpen + record->bytesWritten));
      if (RunStopping.load()) return 0;
      if (retry) continue;
      AddState(record, EntrySkip | EntryFailed | EntryRemoveTarget);
      return 1;
    }
    if (!E.parallel && BreakAfterPiece()) return 0;
  }
  return 1;
}

// A move removes a file's source, its streams with it, once the file and
// every stream of it (the entries right after it) were closed whole.
void SourceWritten(int index, bool whole) {
  int file = FileOf(index);
  E.file.whole = E.file.whole && whole && E.file.index == file;
  if (index + 1 < E.pairCount && IsStream(PairAt(index + 1).source)) return;
  if (!E.file.whole) return;
  for (int i = file; i <= index; ++i)
    if ((StateOf(PairAt(i).record) & (EntryDone | EntrySkip)) != EntryDone) return;
  const char* source = PairAt(file).source;
  if (!RemoveFile(source)) {
    ReportNotCopied(PairAt(file).record, MsgCannotDeleteSource, source);
    return;
  }
  for (int i = file; i <= index; ++i) AddState(PairAt(i).record, EntrySourceRemoved);
}

void FinishEntry(BufferState* state, FileRecord* record, int index) {
  // Taken before the move's own checks: a file whose data all arrived but
  // whose source stays (changed, or not deletable) keeps its totals.
  bool skipped = (StateOf(record) & EntrySkip) != 0;
  if (!skipped) {
    FILETIME lastWrite = record->lastWriteTime;
    platform::SetFileTime(state->target, nullptr, nullptr, &lastWrite);
    if (RunOptions.CopyAccessRights) CopySecurity(state->sourceName, state->targetName);
    uint64_t expected = SizeOf(record);
    if (state->appended) expected += state->sizeAtOpen;
    // A target shorter or longer than the source's data keeps the source.
    bool whole = E.isMove && FileSize64(state->target) == expected;
    // Data put off until the close (a stream's on Linux, a delayed write on
    // Windows) may fail there: then the target is not what it should be.
    bool closed = platform::CloseHandle(state->target) != FALSE;
    state->target = nullptr;
    if (closed) {
      AddState(record, EntryDone);
      LastDoneIndex = index;
      if (E.isMove) {
        if (!whole) {  // the source changed while it was read: it stays, and says so
          platform::SetLastError(ERROR_SUCCESS);
          ReportNotCopied(record, MsgSourceChanged, state->sourceName);
        }
        SourceWritten(index, whole);
      }
    } else {
      ShowFileErrorBox(Msg(MsgWriteError), state->targetName);
      AddState(record, EntrySkip | EntryFailed | EntryRemoveTarget);
      UndoTarget(state);
      skipped = true;
    }
  }
  if (skipped) {
    platform::EnterCriticalSection(&ListLock);
    if (!(record->state & EntryTotalsAdjusted)) {
      TotalWritten -= record->bytesWritten;
      TotalRead -= record->bytesRead;
      TotalBytes -= SizeOf(record);
      record->state |= EntryTotalsAdjusted;
    }
    platform::LeaveCriticalSection(&ListLock);
  }
  if (IsOpen(state->target)) {
    if (StateOf(record) & EntryRemoveTarget)
      UndoTarget(state);
    else
      platform::CloseHandle(state->target);
  }
  state->targetName[0] = 0;
  state->target = nullptr;
}

DWORD WINAPI WriterThread(LPVOID state) {
  WriteBuffer(static_cast<BufferState*>(state));
  return 0;
}

// ---- Reader ----------------------------------------------------------------

bool StartWriterThread() {
  E.writerThread = platform::CreateThread(nullptr, 0, WriterThread, &E.writer, 0, nullptr);
  return E.writerThread != nullptr;
}

// 1 once the writer thread has emptied its buffer; 0 when the user broke
// off while waiting.
int WaitForWriter() {
  for (;;) {
    if (platform::WaitForSingleObject(E.writerDone, kWriterPoll) == WAIT_OBJECT_0) {
      JoinWriterThread();
      return 1;
    }
    if (CheckForBreak()) return 0;
  }
}

// The reader's buffer is full: write it out, or give it to a writer thread.
// 0 when the run is to stop.
int HandOver() {
  if (!E.parallel) return WriteBuffer(&E.reader);
  if (!WaitForWriter()) return 0;
  // The reader opens no targets in a parallel run: an open target stays
  // with the writer's state. Both buffers are the same size: exchanging
  // them hands the data over without copying it.
  uint8_t* buffer = E.writer.buffer;
  ChunkEntry* chunks = E.writer.chunks;
  E.writer.buffer = E.reader.buffer;
  E.writer.chunks = E.reader.chunks;
  E.reader.buffer = buffer;
  E.reader.chunks = chunks;
  // Without a thread the buffer is written here; Esc waits for the next one.
  if (!StartWriterThread()) WriteBuffer(&E.writer);
  return 1;
}

void Release() {
  CloseSource();
  if (E.parallel) {
    JoinWriterThread();
    DiscardTarget(&E.writer);
    FreeBufferState(&E.writer);
    if (E.writerDone != nullptr) platform::CloseHandle(E.writerDone);
    E.writerDone = nullptr;
  } else {
    DiscardTarget(&E.reader);
  }
  FreeBufferState(&E.reader);
  RunStopping.store(false);  // the writer is gone; the finishing steps may ask
}

struct Fill {
  int k;        // next piece of the table
  int32_t pos;  // next free byte of the buffer
};

// Reads pieces of the open source into the buffer from fill->pos. 1 when
// the source is at its end, the buffer is full or the entry was skipped;
// 0 when the run was broken off.
int ReadPieces(const Pair& pair, Fill* fill) {
  BufferState& s = E.reader;
  while (fill->pos < s.bufferSize) {
    if (PassIfSkipped(pair.record)) return 1;
    DWORD n = static_cast<DWORD>(s.bufferSize - fill->pos);
    if (n > E.piece) n = E.piece;
    uint64_t t0 = NowMicroseconds();
    int32_t got = ReadBlock(E.source, s.buffer + fill->pos, n);
    if (got < 0) {
      // A failed read may have moved the position past bytes it did not
      // hand over: Retry reads from the first byte the buffer lacks.
      bool retry;
      do {
        retry = AskRetrySkip(Msg(MsgReadError), pair.source) == 0;
      } while (retry && !SetPosition(E.source, pair.record->bytesRead));
      if (retry) continue;
      AddState(pair.record, EntrySkip | EntryFailed | EntryReaderPassed);
      return 1;
    }
    uint64_t took = NowMicroseconds() - t0;
    if (took > kPieceSlow && E.piece > kPieceMin)
      E.piece /= 2;
    else if (took < kPieceFast && n == E.piece && static_cast<DWORD>(got) == n && n < kPieceMax)
      E.piece *= 2;
    uint64_t counted = AddBytesRead(pair.record, static_cast<uint64_t>(got));
    ReadTime += took;
    ShowReadProgress(nullptr, counted);
    fill->pos += got;
    if (BreakAfterPiece()) return 0;
    if (static_cast<DWORD>(got) < n) return 1;
  }
  return 1;
}

// Copies one pair's data into the buffer, handing full buffers over. 0
// when the run is to stop.
int ReadPair(int index, const Pair& pair, Fill* fill) {
  E.source = OpenForCopy(pair.source, OpenRead, 0);
  ShowReadProgress(pair.source, 0);
  if (E.source == INVALID_HANDLE_VALUE) {
    E.source = nullptr;
    ShowFileErrorBox(Msg(MsgCannotOpenSource), pair.source);
    AddState(pair.record, EntrySkip | EntryFailed | EntryReaderPassed);
    return 1;
  }
  for (;;) {
    if (PassIfSkipped(pair.record)) break;
    if (!ReadPieces(pair, fill)) return 0;
    ChunkEntry& piece = E.reader.chunks[fill->k++];
    piece.dataEnd = fill->pos;
    fill->pos = (fill->pos + BufferBlock - 1) / BufferBlock * BufferBlock;
    piece.alignedEnd = fill->pos;
    piece.entryIndex = index;
    if (fill->pos != E.reader.bufferSize) {
      piece.endsHere = 1;
      break;
    }
    // A full buffer; data that ended in its last block is finished by an
    // empty piece at the start of the next fill.
    piece.endsHere = 0;
    if (!HandOver()) return 0;
    fill->k = 0;
    fill->pos = 0;
  }
  CloseSource();
  return 1;
}

}  // namespace

int WriteBuffer(BufferState* state) {
  int32_t p = 0;
  for (int k = 0; p < state->bufferSize; ++k) {
    const ChunkEntry piece = state->chunks[k];
    if (piece.entryIndex < 0) break;
    if (RunStopping.load()) return 0;
    Pair pair = PairAt(piece.entryIndex);
    FileRecord* record = pair.record;
    if (state->target == nullptr && !(StateOf(record) & EntrySkip) &&
        !OpenTarget(state, pair, piece.entryIndex))
      return 0;
    if (state->target == INVALID_HANDLE_VALUE) AddState(record, EntrySkip | EntryFailed);
    if (!(StateOf(record) & EntrySkip) && !WritePiece(state, record, &p, piece.dataEnd)) return 0;
    p = piece.alignedEnd;
    if (piece.endsHere || (StateOf(record) & EntrySkip)) FinishEntry(state, record, piece.entryIndex);
  }
  if (E.parallel && E.writerDone != nullptr) platform::SetEvent(E.writerDone);
  return 1;
}

int BreakKeyPressed() {
  // While a prompt owns the screen its keys are its own: no poll then.
  HANDLE lock = ScreenLock;
  bool held = lock != nullptr && platform::WaitForSingleObject(lock, 0) == WAIT_OBJECT_0;
  if (lock != nullptr && !held) return 0;

  bool request = false;
  HANDLE input = platform::GetStdHandle(STD_INPUT_HANDLE);
  INPUT_RECORD event;
  DWORD count = 0;
  while (platform::PeekConsoleInputA(input, &event, 1, &count) && count != 0) {
    platform::ReadConsoleInputA(input, &event, 1, &count);
    if (event.EventType == KEY_EVENT && event.Event.KeyEvent.wVirtualKeyCode == VK_ESCAPE &&
        (event.Event.KeyEvent.dwControlKeyState & 0x1F) == 0)
      request = true;
  }
  if (request && Settings.ConfirmBreak) {
    const char* items[] = {Msg(IsMove ? MsgTitleMove : MsgTitleCopy), Msg(MsgConfirmBreak), "\x01",
                           Msg(MsgYes), Msg(MsgNo)};
    request = Host.Message(Host.ModuleNumber, MessageWarning | MessageLeftAlign, nullptr, items,
                           5, 2) == 0;
  }
  // Set before the screen is given back: a writer waiting to ask or to open
  // finds the run stopping once it gets the screen.
  if (request) RunStopping.store(true);
  if (held) platform::SetEvent(lock);
  return request ? 1 : 0;
}

int CheckForBreak() {
  if (!BreakKeyPressed()) return 0;
  if (E.parallel) {
    // Cooperative: the writer returns at its next step, holding no lock.
    JoinWriterThread();
    DiscardTarget(&E.writer);
  } else {
    DiscardTarget(&E.reader);
  }
  CloseSource();
  BreakRequested = 1;
  return 1;
}

// The engine could not start (its box said why): no file of the run was
// copied, and each is counted as failed.
void FailEveryFile(int pairCount) {
  for (int i = 0; i < pairCount; ++i) {
    FileRecord* record = PairAt(i).record;
    if (!(record->attributes & FILE_ATTRIBUTE_DIRECTORY) && !(record->state & EntrySkip))
      record->state |= EntrySkip | EntryFailed;
  }
}

void RunCopy(int pairCount, const DWORD* offsets, const char* names, int isMove) {
  E.isMove = isMove;
  E.pairCount = pairCount;
  E.offsets = offsets;
  E.names = names;
  E.parallel = RunOptions.Parallel != 0;
  E.source = nullptr;
  E.writerThread = nullptr;
  E.writerDone = nullptr;
  E.file.index = -1;
  E.lastBreakPoll = platform::GetTickCount() - kBreakPoll;  // the first piece asks
  E.piece = kPieceMin;
  RunStopping.store(false);
  std::memset(&E.reader, 0, sizeof E.reader);
  std::memset(&E.writer, 0, sizeof E.writer);

  if (!AllocateBufferState(&E.reader, pairCount)) {
    FailEveryFile(pairCount);
    return;
  }
  if (E.parallel) {
    if (!AllocateBufferState(&E.writer, pairCount)) {
      FreeBufferState(&E.reader);
      FailEveryFile(pairCount);
      return;
    }
    E.writerDone = platform::CreateEventA(nullptr, FALSE, TRUE, nullptr);
    if (E.writerDone == nullptr) {
      ShowErrorBox(Msg(MsgNoMemory));
      Release();
      FailEveryFile(pairCount);
      return;
    }
  }

  Fill fill{0, 0};
  for (int i = 0; i < pairCount; ++i) {
    Pair pair = PairAt(i);
    if ((pair.record->attributes & FILE_ATTRIBUTE_DIRECTORY) || PassIfSkipped(pair.record))
      continue;
    if (!ReadPair(i, pair, &fill)) {
      Release();
      return;
    }
  }
  E.reader.chunks[fill.k].entryIndex = -1;
  if (E.parallel) {
    if (!WaitForWriter()) {
      Release();
      return;
    }
    MoveTarget(&E.writer, &E.reader);
    E.writer.target = nullptr;
  }
  // The last buffer: in a parallel run written here, without Esc.
  WriteBuffer(&E.reader);
  RedrawProgress();
  Release();
}
