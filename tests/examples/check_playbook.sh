#!/bin/sh
# The example playbook is sound Ansible: ansible-playbook --syntax-check,
# skipped (77) with the reason where Ansible is not installed.
playbook=$1
if ! command -v ansible-playbook >/dev/null 2>&1; then
    echo "ansible-playbook is not installed (apt-get install ansible-core): not checked"
    exit 77
fi
tmp=$(mktemp -d) || exit 1
trap 'rm -rf "$tmp"' EXIT
# An inventory with the playbook's group, and Ansible's files out of $HOME.
printf '[vxi_hosts]\ncrate1\n' >"$tmp/inventory"
ANSIBLE_LOCAL_TEMP=$tmp ANSIBLE_HOME=$tmp \
    ansible-playbook --syntax-check -i "$tmp/inventory" "$playbook"
