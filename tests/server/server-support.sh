# Shared by the with-*.sh wrappers: free loopback ports and waiting for a
# server to come up. Sourced, not run.

free_port() { python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }
listening() { python3 -c 'import socket, sys; socket.create_connection(("127.0.0.1", int(sys.argv[1])), 1)' "$1" 2>/dev/null; }

# start_on_free_port CONFIGURE COMMAND...: picks a free port, runs
# "CONFIGURE PORT" (which writes the server's configuration), starts COMMAND
# in the background and waits until it listens there. The port is free when
# chosen; another program may take it first, so a server that does not come
# up is started again on another (5 tries). Sets $port and $server (its pid;
# empty when it never came up).
start_on_free_port() {
    local configure=$1
    shift
    server=
    for _ in 1 2 3 4 5; do
        port=$(free_port)
        "$configure" "$port"
        "$@" &
        server=$!
        for _ in $(seq 1 100); do
            listening "$port" && return 0
            kill -0 "$server" 2>/dev/null || break
            sleep 0.05
        done
        kill "$server" 2>/dev/null
        wait "$server" 2>/dev/null
        server=
    done
    return 1
}

# wait_for_port_file FILE PID NAME: waits until the server PID has written
# its port to FILE; fails (naming NAME) when it ends first or takes 5 s.
wait_for_port_file() {
    for _ in $(seq 1 100); do
        [ -s "$1" ] && return 0
        kill -0 "$2" 2>/dev/null || { echo "$3: the server did not start" >&2; return 1; }
        sleep 0.05
    done
    echo "$3: no port from the server" >&2
    return 1
}
