// SNMP over Ethernet: the pseudo link of the endpoints "ethernet_udp" and
// "ethernet_tcp", and their agents' transport (snmp_ethernet_net_drv).
//
// The UDP and TCP servers push what they receive into the link's receive
// queue, each piece with the peer it came from. The link's receive thread
// cuts SNMP messages out by their BER SEQUENCE header (a whole message of at
// most the agent's SNMP_MAX_MESSAGE bytes) and runs the agent on each, in its own thread. A UDP datagram
// is one message: what a datagram leaves unfinished is dropped with it, and
// never joins the next datagram. A TCP stream is assembled across segments
// of one connection. The answer goes back through the server to the peer
// whose bytes completed the message.
#pragma once

#include <cstdint>

#include "ntcip/snmp/agent/snmp_agent.h"
#include "tx_api.h"

constexpr uint32_t ETHERNET_LINK_ID = 0x50505020;
// Content of a message whose SEQUENCE header (0x30 0x82 and two length
// bytes) and content together fill the agent's buffer.
constexpr uint32_t ETHERNET_CONTENT_MAX = SNMP_AGENT_BUFFER - 4;
constexpr uint32_t ETHERNET_MESSAGE_SIZE = SNMP_AGENT_BUFFER + 8;  // a message being assembled
// Bytes waiting for the receive thread: two of the largest messages.
constexpr uint32_t ETHERNET_QUEUE_SIZE = 2 * SNMP_AGENT_BUFFER + 50;
constexpr uint32_t ETHERNET_FRAME_SIZE = SNMP_AGENT_BUFFER;  // an answer
constexpr uint32_t ETHERNET_CHUNKS = 32;          // received pieces waiting at once
constexpr uint32_t ETHERNET_STACK_SIZE = 5120;
constexpr UINT ETHERNET_PRIORITY = 2;
constexpr uint32_t ETHERNET_WAIT_SLICE = 25;      // ticks per wait of the receive thread
constexpr uint32_t ETHERNET_IDLE_LIMIT = 2000;    // waits without a byte before a partial message is dropped
constexpr UINT ETHERNET_QUEUE_FULL = 0xB1;

// Where received bytes came from, and so where the answer to them goes.
struct ethernet_peer {
  const void* channel = nullptr;  // the server's socket that carried them; null: not known
  uint32_t generation = 0;        // the connection's number on that socket
  uint32_t address = 0;           // IPv4, most significant byte first as a number
  uint16_t port = 0;

  bool operator==(const ethernet_peer& o) const {
    return channel == o.channel && generation == o.generation && address == o.address && port == o.port;
  }
};

// Sends one whole frame to a peer; non-zero when it went out.
typedef int (*ethernet_frame_send)(const uint8_t* frame, uint32_t length, const ethernet_peer* to);
// The byte output of a failed frame.
typedef void (*ethernet_byte_output)(uint8_t byte);
// Where a complete message goes; null: the link's agent.
typedef void (*ethernet_deliver)(struct ethernet_link* link, const uint8_t* message, uint32_t length);

enum : uint8_t { ETHERNET_STREAM = 0, ETHERNET_DATAGRAM = 1 };

struct ethernet_chunk {
  uint16_t length;
  uint8_t kind;
  ethernet_peer peer;
};

struct ethernet_link {
  uint32_t id;
  const char* name;
  void* context;
  snmp_agent* agent;
  // Statistics.
  uint32_t bytes_received;       // accepted into the receive queue
  uint32_t bytes_output;         // handed to the byte output after a failed send
  uint32_t bytes_dropped;        // refused by a full queue
  uint32_t bytes_invalid;        // kept for the statistics; not counted here
  uint32_t frames_transmitted;   // frames the server took
  uint32_t messages_received;    // messages handed to the agent
  uint16_t queue_capacity;
  uint32_t inter_char_timeout;   // lengthens the idle limit
  ethernet_byte_output byte_output;
  ethernet_frame_send frame_send;
  ethernet_deliver deliver;
  TX_MUTEX protection;  // "ETHERNET PROTECT MUTEX": one send at a time
  TX_SEMAPHORE arrived; // "ETHERNET SERIAL BUFFER SEMAPHORE": one count per queued piece
  // The answer being sent.
  uint8_t frame[ETHERNET_FRAME_SIZE];
  uint32_t frame_length;
  // The message being assembled and where its bytes came from.
  uint8_t message[ETHERNET_MESSAGE_SIZE];
  uint16_t message_length;
  uint8_t state;           // 0 waiting for 0x30, 1 first length byte, 2 long-form length, 3 content
  uint32_t remaining;      // content bytes still to come
  uint8_t length_bytes;    // long-form length bytes still to come
  ethernet_peer source;
  ethernet_peer reply_to;  // the peer of the message being served
  uint32_t idle;           // waits since the last byte
  // The receive queue: a ring of bytes and the pieces they form.
  uint8_t queue[ETHERNET_QUEUE_SIZE];
  uint16_t write_index, read_index, count;
  ethernet_chunk chunks[ETHERNET_CHUNKS];
  uint8_t chunk_head, chunk_count;
  uint8_t work[ETHERNET_QUEUE_SIZE];  // the piece being assembled, out of the queue
  TX_THREAD receive_thread;           // "ETHERNET RECEIVE THREAD"
  void* receive_stack;
  uint32_t led_bit;
  ethernet_link* next;
  ethernet_link* previous;
};

// Clears the link, stores its parts, creates its kernel objects and starts
// its receive thread (stack from `stacks`, without waiting), and joins the
// list of links. 0, or the first kernel status that failed (printed).
int ethernet_create(ethernet_link* link, const char* name, void* context, snmp_agent* agent, UINT priority,
                    TX_BYTE_POOL* stacks, ethernet_byte_output byte_output, ethernet_frame_send frame_send);
// Leaves the list and deletes the kernel objects (tests; links otherwise
// live for the whole run).
void ethernet_destroy(ethernet_link* link);
// Forgets every link without touching them: a new start of the controller
// within one process, whose former links lived in the former kernel's memory.
void ethernet_forget_links();
void ethernet_set_hooks(ethernet_link* link, ethernet_byte_output byte_output, ethernet_frame_send frame_send);
void ethernet_set_timeout(ethernet_link* link, uint32_t timeout);

// Received bytes. 0, or ETHERNET_QUEUE_FULL when they were refused and
// counted as dropped: a datagram that does not fit is dropped whole, of a
// stream segment only what does not fit.
UINT ethernet_datagram_receive(ethernet_link* link, const uint8_t* data, uint32_t length, const ethernet_peer& from);
UINT ethernet_stream_receive(ethernet_link* link, const uint8_t* data, uint32_t length, const ethernet_peer& from);
// One byte of a stream whose sender is not known.
UINT _nx_ethernet_byte_receive(ethernet_link* link, uint8_t byte);

// One wait of the receive thread (at most `wait` ticks) and the piece it
// brought; false when the wait ran out. The thread runs it for ever.
bool ethernet_receive_step(ethernet_link* link, ULONG wait);

// Sends an answer to the peer of the message being served. 1 when the
// server took it.
int ethernet_send(ethernet_link* link, const uint8_t* bytes, uint32_t length);

// The link whose agent has the name, or null.
ethernet_link* ethernet_find(const char* agent_name);
ethernet_link* ethernet_link_of(snmp_agent* agent);

// The transport of the Ethernet agents. Initialise places the link at the
// start of the agent's memory and creates it (threads from the
// communication pool); open, receive and close do nothing; send sends
// through the link and counts snmpOutPkts when the answer went out.
int snmp_ethernet_net_drv(snmp_agent* agent, uint32_t ipi, uint32_t operation, uint8_t* buffer, uint32_t* length);

// The hooks of an unbound link.
void null_byte_output(uint8_t byte);
int null_frame_send(const uint8_t* frame, uint32_t length, const ethernet_peer* to);
