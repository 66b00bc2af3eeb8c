#!/usr/bin/env bash
# Runs a command with Debian's nginx on a free 127.0.0.1 port and a
# configuration of its own: WRENSTALL_NGINX_PORT, WRENSTALL_NGINX_ROOT (the
# served folder, empty at the start) and WRENSTALL_NGINX_LOG (the access log:
# status, Range, If-Range and the request line, tab-separated) are exported.
# Locations: /files/ as nginx serves by default (ETag, Last-Modified, ranges),
# /noranges/ without range support, /noetag/ without ETag, /gzipped/ claiming
# "Content-Encoding: gzip" for what it serves.
set -uo pipefail
source "$(dirname "$0")/server-support.sh"
command -v nginx >/dev/null || [ -x /usr/sbin/nginx ] || { echo "with-nginx: nginx is missing (scripts/install-deps)" >&2; exit 1; }
nginx=$(command -v nginx || echo /usr/sbin/nginx)
work=$(mktemp -d)
mkdir -p "$work/root" "$work/temp"
server=
cleanup() { [ -n "$server" ] && kill "$server" 2>/dev/null && wait "$server" 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT
configure() {
    cat > "$work/nginx.conf" <<CONF
daemon off;
master_process off;
worker_processes 1;
pid $work/nginx.pid;
error_log $work/error.log;
events { worker_connections 64; }
http {
    client_body_temp_path $work/temp/body;
    proxy_temp_path $work/temp/proxy;
    fastcgi_temp_path $work/temp/fastcgi;
    uwsgi_temp_path $work/temp/uwsgi;
    scgi_temp_path $work/temp/scgi;
    log_format fields "\$status\t\$http_range\t\$http_if_range\t\$request";
    access_log $work/access.log fields;
    default_type application/octet-stream;
    server {
        listen 127.0.0.1:$1;
        root $work/root;
        location /files/ { }
        location /noranges/ { max_ranges 0; }
        location /noetag/ { etag off; }
        location /gzipped/ { add_header Content-Encoding gzip; }
    }
}
CONF
}
start_on_free_port configure "$nginx" -c "$work/nginx.conf" -p "$work" >"$work/out" 2>&1 ||
    { echo "with-nginx: nginx did not start" >&2; cat "$work/out" "$work/error.log" >&2 2>/dev/null; exit 1; }
mkdir -p "$work/root/files" "$work/root/noranges" "$work/root/noetag" "$work/root/gzipped"
export WRENSTALL_NGINX_PORT=$port
export WRENSTALL_NGINX_ROOT="$work/root"
export WRENSTALL_NGINX_LOG="$work/access.log"
"$@"
