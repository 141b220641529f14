// Engine start and stop, and what the engine knows process-wide: which database files this
// process has open.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

namespace vorlix {

// Starts the engine (and cancels a stop that is waiting for databases to close). Opening,
// creating or compacting a database starts a stopped engine too, as callers of the original
// class library could rely on.
void AfxDaoInit();

// Stops the engine. Databases that are open stay usable: the stop takes effect when the last
// of them closes (databases opened meanwhile included), without waiting for that here.
void AfxDaoTerm();

namespace engine {

// Starts the engine unless it runs; a waiting stop stays waiting.
void EnsureRunning();

// True between a start and the stop taking effect.
bool IsRunning();

// The identity of a file (device and inode), so that two names of one file are one file.
struct FileId {
  dev_t device;
  ino_t inode;
  friend bool operator==(const FileId&, const FileId&) = default;
};
// nullopt when the file does not exist (or cannot be looked at).
std::optional<FileId> IdentifyFile(const std::string& path);

// Book-keeping of CDaoDatabase: a file opened and closed by one database object.
void NoteOpened(const FileId& file);
void NoteClosed(const FileId& file);
// True while a database object of this process has the file open.
bool IsOpenHere(const FileId& file);

}  // namespace engine
}  // namespace vorlix
