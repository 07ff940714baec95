// Public message ports: what stands in for Exec's named ports between the
// musicdisk, its music handler and the player process.
//
// A public port named N is a Unix-domain SOCK_SEQPACKET socket file N in the
// per-user port directory: $XDG_RUNTIME_DIR/musicdisk/ when that folder is
// usable (an existing directory of ours that we may write to), else
// /tmp/musicdisk-UID/ (made with mode 0700; refused when it is not a real
// directory, is owned by another user or is open to others).
//
// One message is one connection: the sender connects, sends one
// PORT_MESSAGE_SIZE-byte message, waits (bounded) for the same number of
// bytes back and closes. The owner takes the message, replies with the 24
// bytes (their value possibly changed) and closes. A message of another size
// or with a broken header, and any connection from another user, is refused:
// the connection is closed without a reply, and the owner keeps serving.
//
// This layer moves opaque 24-byte messages and checks only the Exec header
// (type 5 at offset 8, length 24 at offset 18); what the value means is the
// music code's business. Nothing here writes text: failures come back as
// results with errno set, the caller says what it needs to.
#pragma once

#include <cstddef>

#include <cstdint>

// The Exec message header this layer checks; the rest of the 24 bytes is the
// sender's business.
constexpr size_t PORT_MESSAGE_SIZE = 24;
constexpr size_t MESSAGE_TYPE_OFFSET = 8;     // one byte: NT_MESSAGE
constexpr size_t MESSAGE_LENGTH_OFFSET = 18;  // native uint16_t: PORT_MESSAGE_SIZE
constexpr uint8_t NT_MESSAGE = 5;             // the Exec node type of a message
// Connections accepted but not yet carrying a message that a port keeps at
// once; more wait in the listen queue.
constexpr int MAX_PENDING_CONNECTIONS = 32;
// A connection that has sent nothing for this long is dropped (milliseconds).
constexpr int PENDING_CONNECTION_LIMIT_MS = 5000;

// ---- the port directory ----

// Writes the port directory's path into out. With create, the directory is
// made when missing. False (errno set) when it cannot be made, or when it is
// not a directory, belongs to another user or is open to group or others.
bool portDirectory(char *out, size_t outSize, bool create);
// 0 when path (the runtime folder) can hold the port directory: absolute, an
// existing directory owned by us that we may write to; else the errno value
// that says why not (EINVAL for an unset or relative path, EPERM for another
// user's).
int runtimeFolderError(const char *path);

// ---- the sender's side: one private reply port per message ----

// A private reply port: the sender's end of the one connection a message
// travels on. Zero-initialise, or use as is: the descriptor starts at -1.
struct MsgPort {
  int fd = -1;
};

// Connects to the public port name and puts one message on it. True when the
// port existed, accepted the connection and took the bytes; the reply will
// come back on replyPort. Never waits: false at once when there is no such
// port, nobody listens on it, it is owned by another user, or its owner's
// queue of connections is full (errno EAGAIN: a busy owner, try later).
bool putToPublicPort(const char *name, const void *message, MsgPort *replyPort);
enum ReplyState {
  REPLY_ARRIVED,  // the reply is in *reply
  REPLY_PENDING,  // none yet: the time ran out, the connection stays open
  REPLY_REFUSED,  // none will come: the owner closed without a reply (its
                  // port withdrawn), or replied with something not a message
};
// Waits up to timeoutMs (0: just looks) for the reply on replyPort.
ReplyState waitForReply(MsgPort *replyPort, void *reply, int timeoutMs);
// Closes the connection (safe to call twice).
void closeReplyPort(MsgPort *replyPort);

// ---- the owner's side ----

struct PublicPort;

// Creates the public port name. A socket file left by an owner that has died
// is taken over; one that a live owner still listens on is not (null, errno
// EADDRINUSE). Null with errno set on any other failure.
PublicPort *createPublicPort(const char *name);
// Removes the port's name now: the socket file goes (only if it is still
// ours), no new message can arrive, waiting senders see the connection
// close. A message in hand can still be replied. Safe to call twice.
void withdrawPublicPort(PublicPort *port);
// Withdraws the port if still needed, closes every connection and frees it.
// Null is ignored.
void deletePublicPort(PublicPort *port);

enum PortWaitResult {
  PORT_READY,    // a message may be waiting: call getPortMessage
  PORT_IDLE,     // the time ran out (or a signal interrupted the wait)
  PORT_STOPPED,  // stopFd became readable
  PORT_FAILED,   // the port is withdrawn or the wait failed
};
// Waits up to timeoutMs (-1: no limit) for activity on the port, or for
// stopFd (-1: none) to become readable. A stop takes precedence.
PortWaitResult waitPublicPort(PublicPort *port, int timeoutMs, int stopFd);
// Takes one complete message without waiting: true with its bytes in
// message. The port holds the message's connection until replyPortMessage;
// taking another message first drops the unreplied one (its sender sees the
// connection close).
bool getPortMessage(PublicPort *port, void *message);
// Sends reply back to the sender of the message in hand and closes the
// connection. False when no message is in hand or the sender has gone.
bool replyPortMessage(PublicPort *port, const void *reply);
