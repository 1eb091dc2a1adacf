# Sourced by the FTP benchmarks: starts a vsftpd of their own (anonymous, read-only,
# 127.0.0.1, a port the kernel gives it, configuration in the caller's temporary folder $tmp) serving
# $tmp/site, and sets $port and $ftpd_pid. The caller stops it by its process id.
. "$(dirname "${BASH_SOURCE[0]}")/ports-lib.sh"

start_vsftpd() {
  mkdir -p /var/run/vsftpd/empty
  # vsftpd refuses a writable anonymous root.
  chmod 555 "$tmp/site"
  cat > "$tmp/vsftpd.conf" <<CONF
listen=YES
listen_ipv6=NO
listen_address=127.0.0.1
listen_port=0
background=NO
anonymous_enable=YES
local_enable=NO
write_enable=NO
anon_root=$tmp/site
no_anon_password=YES
seccomp_sandbox=NO
isolate_network=NO
isolate=NO
pasv_enable=YES
port_enable=YES
pasv_address=127.0.0.1
xferlog_enable=NO
vsftpd_log_file=/dev/null
secure_chroot_dir=/var/run/vsftpd/empty
ftp_username=ftp
CONF
  vsftpd "$tmp/vsftpd.conf" &
  ftpd_pid=$!
  port=$(wait_for_own_port "$ftpd_pid" 0) || { echo "vsftpd did not start" >&2; return 1; }
}
