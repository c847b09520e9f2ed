// The telnet server and client add-ons of the IP stack, as the system's code
// calls them.
//
// Server: one thread of its own (its stack given at creation) listens on
// port 23 and serves up to NX_TELNET_MAX_CLIENTS connections, each known by
// its logical connection number 0..NX_TELNET_MAX_CLIENTS-1. The application's
// three routines run in that thread: new connection, received data (the
// routine owns the packet and releases or reuses it) and end of connection.
// The server negotiates character-at-a-time operation (it offers to echo and
// to suppress go-ahead), answers the client's own offers with refusals, and
// hands the application only the data stream: telnet commands are removed,
// IAC IAC becomes one 0xFF byte and the NUL of a CR NUL pair is dropped.
// Data the application sends goes out as it is.
//
// Client: a TCP connection to a telnet port, with packets in both directions
// as they are.
#pragma once

#include "nx_api.h"

#define NX_TELNET_SERVER_PORT 23u
#define NX_TELNET_MAX_CLIENTS 4u
#define NX_TELNET_SERVER_PRIORITY 16u
#define NX_TELNET_SERVER_WINDOW_SIZE 2048u
#define NX_TELNET_INVALID_CONNECTION 0x7Eu  // no such logical connection, or not connected

// Telnet commands.
#define NX_TELNET_IAC 255u
#define NX_TELNET_DONT 254u
#define NX_TELNET_DO 253u
#define NX_TELNET_WONT 252u
#define NX_TELNET_WILL 251u
#define NX_TELNET_SB 250u
#define NX_TELNET_SE 240u
#define NX_TELNET_ECHO 1u
#define NX_TELNET_SGA 3u

struct NX_TELNET_SERVER;

// One logical connection of a server.
struct NX_TELNET_SERVER_CONNECTION {
  NX_TCP_SOCKET nx_telnet_connection_socket;  // first: the socket's callbacks find the connection by it
  NX_TELNET_SERVER* nx_telnet_connection_server;
  UINT nx_telnet_connection_index;
  UINT nx_telnet_connection_state;  // 0 free, 1 listening, 2 connected
  UCHAR nx_telnet_connection_parse;  // command parser state
  UCHAR nx_telnet_connection_command;
  UCHAR nx_telnet_connection_after_cr;
  UCHAR nx_telnet_connection_refused[32];  // options whose offer was refused already
};

struct NX_TELNET_SERVER {
  const CHAR* nx_telnet_server_name;
  NX_IP* nx_telnet_server_ip_ptr;
  UINT nx_telnet_server_port;
  TX_THREAD nx_telnet_server_thread;
  TX_EVENT_FLAGS_GROUP nx_telnet_server_events;
  NX_TELNET_SERVER_CONNECTION nx_telnet_server_connections[NX_TELNET_MAX_CLIENTS];
  UINT nx_telnet_server_started;
  UINT nx_telnet_server_thread_index;
  ULONG nx_telnet_server_open_connections;
  ULONG nx_telnet_server_connection_requests;
  ULONG nx_telnet_server_disconnection_requests;
  ULONG nx_telnet_server_total_bytes_sent;
  ULONG nx_telnet_server_total_bytes_received;
  ULONG nx_telnet_server_relisten_errors;
  VOID (*nx_telnet_new_connection)(NX_TELNET_SERVER* server, UINT logical_connection);
  VOID (*nx_telnet_receive_data)(NX_TELNET_SERVER* server, UINT logical_connection, NX_PACKET* packet);
  VOID (*nx_telnet_connection_end)(NX_TELNET_SERVER* server, UINT logical_connection);
};

struct NX_TELNET_CLIENT {
  const CHAR* nx_telnet_client_name;
  NX_IP* nx_telnet_client_ip_ptr;
  NX_TCP_SOCKET nx_telnet_client_socket;
};

// Server. Create makes the thread (waiting until the server is started);
// NX_ALREADY_CREATED for a created server, NX_PTR_ERROR for a missing
// argument, NX_SIZE_ERROR for a stack below 1024 bytes.
UINT nx_telnet_server_create(NX_TELNET_SERVER* server, const CHAR* name, NX_IP* ip, VOID* stack, ULONG stack_size,
                             VOID (*new_connection)(NX_TELNET_SERVER*, UINT),
                             VOID (*receive_data)(NX_TELNET_SERVER*, UINT, NX_PACKET*),
                             VOID (*connection_end)(NX_TELNET_SERVER*, UINT));
// Stops the server when it runs, ends its thread and deletes its sockets.
UINT nx_telnet_server_delete(NX_TELNET_SERVER* server);
// Listens on the port (NX_ALREADY_ENABLED when started).
UINT nx_telnet_server_start(NX_TELNET_SERVER* server);
// Ends every connection (the end routine runs for each) and stops
// listening (NX_NOT_ENABLED when not started).
UINT nx_telnet_server_stop(NX_TELNET_SERVER* server);
// On success the stack owns the packet; on failure the caller still does.
UINT nx_telnet_server_packet_send(NX_TELNET_SERVER* server, UINT logical_connection, NX_PACKET* packet,
                                  ULONG wait_option);
// Ends one connection from the server's side (the end routine runs).
UINT nx_telnet_server_disconnect(NX_TELNET_SERVER* server, UINT logical_connection);

// Client.
UINT nx_telnet_client_create(NX_TELNET_CLIENT* client, const CHAR* name, NX_IP* ip, ULONG window_size);
UINT nx_telnet_client_delete(NX_TELNET_CLIENT* client);
// Binds any free port and connects; NX_NOT_CONNECTED when the server did
// not answer in time.
UINT nx_telnet_client_connect(NX_TELNET_CLIENT* client, ULONG server_address, UINT server_port, ULONG wait_option);
// NX_NOT_CONNECTED when there was no connection.
UINT nx_telnet_client_disconnect(NX_TELNET_CLIENT* client, ULONG wait_option);
UINT nx_telnet_client_packet_receive(NX_TELNET_CLIENT* client, NX_PACKET** packet, ULONG wait_option);
// On success the stack owns the packet; on failure the caller still does.
UINT nx_telnet_client_packet_send(NX_TELNET_CLIENT* client, NX_PACKET* packet, ULONG wait_option);
