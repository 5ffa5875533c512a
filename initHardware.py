#!/bin/sh
echo "initialised $1"
